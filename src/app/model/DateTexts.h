#pragma once

#include <QLocale>
#include <QString>

#include "core/receipt/Timestamp.h"

namespace kestrin {

// How the views write an instant, in the user's locale and time zone. The
// forms are built from the locale's own date and time patterns so that the
// order of the parts, separators and the AM/PM marker follow the locale.
class DateTexts {
  public:
    DateTexts() = delete;

    // A task row's receive time: year, two-digit month, two-digit day, hour
    // (with the locale's AM/PM marker where it uses one) and minute, e.g.
    // "2026/07/27 17:30" or "07/27/2026 5:30 PM".
    static QString receivedAt(Timestamp instant, const QLocale& locale = QLocale());

    // The same instant for assistive technology: year, abbreviated month
    // name, day, hour and minute, e.g. "Jul 27, 2026 5:30 PM".
    static QString receivedAtAccessibility(Timestamp instant, const QLocale& locale = QLocale());

    // A history row's time: abbreviated month name, day, hour and minute.
    static QString historyTime(Timestamp instant, const QLocale& locale = QLocale());
};

}  // namespace kestrin
