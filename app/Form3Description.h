// The stored description of the main window (Form3.desc), compiled into the program.
#pragma once

#include <string_view>

namespace Unit1 {

std::string_view Form3Description();

}  // namespace Unit1
