#pragma once

class QApplication;

namespace kestrin {

// What the desktop program sets on its application before the window opens:
// its name and desktop entry, its icon, the appearance KESTRIN_FORCE_APPEARANCE
// asks for, and Qt's own texts (file panels, standard buttons) in Simplified
// Chinese like the rest of the program, whatever the system's locale.
//
// No application display name is set: the platform would append it to every
// window and alert title.
class ApplicationSetup {
  public:
    ApplicationSetup() = delete;

    // Applies all of the above. False when Qt's Chinese translations are not
    // installed; Qt's texts then stay in English and nothing else changes.
    static bool configure(QApplication& application);
};

}  // namespace kestrin
