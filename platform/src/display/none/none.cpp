// Built in place of the SDL2 backend when SDL2 was not found: there is no
// window display, so a program that asks for one hears why (the headless
// display still works).
#include <memory>
#include <string>

#include "display/display.h"

namespace standin {

namespace {

std::unique_ptr<Display> open_none(std::string* error) {
    *error = "this build has no window display (SDL2 was not found when it was configured)";
    return nullptr;
}

}  // namespace

const DisplayBackend kWindowDisplay = {"none", open_none};

}  // namespace standin
