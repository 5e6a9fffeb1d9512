#pragma once

namespace tavik::gui {

// Names the program to Qt before anything reads it: the application and organisation
// "Tavik", the project's version (shown by --version and the About box) and the icon.
void describe_application();

}  // namespace tavik::gui
