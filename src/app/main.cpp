#include "app/GlidemarkApp.h"

int main(int argc, char** argv) { return gm::app::runGlidemark(argc, argv); }
