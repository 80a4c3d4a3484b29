#pragma once

#include "app/model/FilePanels.h"

class QWidget;

namespace kestrin {

// Modal QFileDialog panels over the given parent window, or over the active
// window when none was given (the model is built before its window).
class QtFilePanels final : public FilePanels {
  public:
    explicit QtFilePanels(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override;
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override;

    // The name filter offered for a file type.
    static QString nameFilter(PanelFileType type);

  private:
    QWidget* dialogParent() const;

    QWidget* parent_;
};

}  // namespace kestrin
