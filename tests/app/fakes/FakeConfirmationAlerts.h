#pragma once

#include <QList>

#include "app/model/ConfirmationAlerts.h"

namespace kestrin {

// Answers every alert with `nextAnswer` and records the requests.
class FakeConfirmationAlerts final : public ConfirmationAlerts {
  public:
    bool confirm(const ConfirmationRequest& request) override {
        requests << request;
        return nextAnswer;
    }

    bool nextAnswer = true;
    QList<ConfirmationRequest> requests;
};

}  // namespace kestrin
