#pragma once

#include <QString>
#include <QUuid>

namespace kestrin {

// One message for the user, shown by the window as an alert with a single
// "知道了" button. Each notice has a fresh random identity, so two notices
// with the same texts are still different notices.
struct AppNotice {
    QUuid id;
    QString title;
    QString message;

    // A notice with a new random id.
    static AppNotice make(QString title, QString message) {
        return AppNotice{QUuid::createUuid(), std::move(title), std::move(message)};
    }

    bool operator==(const AppNotice&) const = default;
};

}  // namespace kestrin
