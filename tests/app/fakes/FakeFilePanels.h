#pragma once

#include <QList>

#include "app/model/FilePanels.h"

namespace kestrin {

// Answers panels with the next prepared choice (nothing = cancel) and records
// what each panel asked for.
class FakeFilePanels final : public FilePanels {
  public:
    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override {
        saveRequests << request;
        return nextChoice;
    }
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override {
        openRequests << request;
        return nextChoice;
    }

    std::optional<QString> nextChoice;
    QList<SavePanelRequest> saveRequests;
    QList<OpenPanelRequest> openRequests;
};

}  // namespace kestrin
