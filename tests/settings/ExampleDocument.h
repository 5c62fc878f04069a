#pragma once
// A stored document as Glidemark writes it: all defaults and one exception.
namespace gm::settings::test {

inline constexpr const char* kExampleDocument =
    R"({"appSettings":{"launchAtLogin":false,"showMenuIcon":true,"exceptionalApplication":[{"bundleId":"com.google.Chrome","scrollBase":{"smooth":false,"horizontalSmooth":true,"reverse":false,"animationEasing":true},"scrollAdvanced":{"dash":0,"toggle":0,"block":[55,58,59],"step":90,"duration":350,"accelerationDelta":50,"accelerationLimit":7,"accelerationTailToHeadRatio":3},"inherit":true}],"showScrollHelperText":true,"showSystemHelperText":true},"scrollBase":{"smooth":true,"horizontalSmooth":true,"reverse":false,"animationEasing":true},"scrollAdvanced":{"dash":0,"toggle":0,"block":[55,58,59],"step":90,"duration":350,"accelerationDelta":50,"accelerationLimit":7,"accelerationTailToHeadRatio":3}})";

}  // namespace gm::settings::test
