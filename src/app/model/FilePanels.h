#pragma once

#include <QString>
#include <optional>

namespace kestrin {

// The kinds of file the data commands' panels offer.
enum class PanelFileType { json, sqliteDatabase };

struct SavePanelRequest {
    QString title;
    QString proposedName;
    PanelFileType allowedType = PanelFileType::json;
    bool canCreateDirectories = true;
};

struct OpenPanelRequest {
    QString title;
    PanelFileType allowedType = PanelFileType::json;
};

// Modal file choosers. Open panels choose one file, never a directory.
class FilePanels {
  public:
    virtual ~FilePanels() = default;

    // The chosen file path, or nothing when the user cancelled.
    virtual std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) = 0;
    virtual std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) = 0;
};

}  // namespace kestrin
