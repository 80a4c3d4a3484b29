#pragma once

#include "app/FilePanels.h"

class QWidget;

namespace kestrin {

// Modal QFileDialog panels over an optional parent window.
class QtFilePanels final : public FilePanels {
  public:
    explicit QtFilePanels(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override;
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override;

    // The name filter offered for a file type.
    static QString nameFilter(PanelFileType type);

  private:
    QWidget* parent_;
};

}  // namespace kestrin
