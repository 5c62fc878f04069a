// Decoding and encoding a settings document with 100 per-application exceptions,
// about the most a user will keep; the document is read at start-up and
// written on every change the user makes.
#include <benchmark/benchmark.h>

#include <string>

#include "settings/SettingsCodec.h"

namespace {

gm::settings::GlidemarkSettings hundredExceptions() {
    gm::settings::GlidemarkSettings settings;
    for (int i = 0; i < 100; ++i) {
        gm::settings::ScrollAdvanced own;
        own.step = 60.0 + i * 0.5;
        own.duration = 250.0 + i;
        own.block = {55, 58};
        settings.appSettings.exceptionalApplication.push_back(std::make_shared<gm::settings::ExceptionalApplication>(
            "com.example.application" + std::to_string(i), gm::settings::ScrollBase{i % 2 == 0, true, false, true},
            own, i % 3 == 0));
    }
    return settings;
}

void BM_DecodeHundredExceptions(benchmark::State& state) {
    const std::string document = gm::settings::encode(hundredExceptions()).value();
    for (auto _ : state) {
        auto result = gm::settings::decode(document);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.size()));
    state.counters["document_bytes"] = static_cast<double>(document.size());
}
BENCHMARK(BM_DecodeHundredExceptions);

void BM_EncodeHundredExceptions(benchmark::State& state) {
    const auto settings = hundredExceptions();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto text = gm::settings::encode(settings);
        bytes = text->size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EncodeHundredExceptions);

}  // namespace
