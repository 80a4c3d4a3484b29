#include "app/model/DateTexts.h"

#include <QDateTime>
#include <QRegularExpression>

namespace kestrin {
namespace {

QDateTime localTime(Timestamp instant) {
    return QDateTime::fromMSecsSinceEpoch(instant.time_since_epoch().count()).toLocalTime();
}

bool isPatternLetter(QChar c) {
    return c == QLatin1Char('y') || c == QLatin1Char('M') || c == QLatin1Char('d') ||
           c == QLatin1Char('h') || c == QLatin1Char('H') || c == QLatin1Char('m') ||
           c == QLatin1Char('s') || c == QLatin1Char('a') || c == QLatin1Char('A') ||
           c == QLatin1Char('t');
}

// Removes every run of `letter` from a date pattern together with its
// separator: the literal text up to the next field when it is followed by
// one (", " after a weekday, "年" after a year), else the spaces and
// punctuation before it.
QString withoutField(QString pattern, QChar letter) {
    for (qsizetype start = pattern.indexOf(letter); start >= 0; start = pattern.indexOf(letter)) {
        qsizetype end = start;
        while (end < pattern.size() && pattern[end] == letter) ++end;
        qsizetype next = end;
        while (next < pattern.size() && !isPatternLetter(pattern[next])) ++next;
        if (next < pattern.size()) {
            pattern.remove(start, next - start);
        } else {
            qsizetype before = start;
            while (before > 0 && pattern[before - 1] != QLatin1Char('\'') &&
                   (pattern[before - 1].isSpace() || pattern[before - 1].isPunct())) {
                --before;
            }
            pattern.remove(before, end - before);
        }
    }
    return pattern.trimmed();
}

// Sets every run of `letter` in `pattern` to `width` letters.
QString withFieldWidth(QString pattern, QChar letter, int width) {
    const QRegularExpression run(QRegularExpression::escape(QString(letter)) + QStringLiteral("+"));
    return pattern.replace(run, QString(width, letter));
}

// The locale's long date without the weekday and with an abbreviated month
// name: "MMM d, yyyy", "yyyy年M月d日", "d. MMM yyyy".
QString mediumDatePattern(const QLocale& locale) {
    // The weekday is the run of four "d": mark it so that the day stays.
    const QChar weekday(0x01);
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    pattern.replace(QStringLiteral("dddd"), QString(weekday));
    pattern = withoutField(pattern, weekday);
    // A month that the pattern itself names with a word ("M月") stays a number.
    static const QRegularExpression month(QStringLiteral("(?<!M)M++(?![^\\s\\p{P}yMdhHmsaAt'])"));
    return pattern.replace(month, QStringLiteral("MMM"));
}

}  // namespace

QString DateTexts::receivedAt(Timestamp instant, const QLocale& locale) {
    QString date = locale.dateFormat(QLocale::ShortFormat);
    date = withFieldWidth(date, QLatin1Char('y'), 4);
    date = withFieldWidth(date, QLatin1Char('M'), 2);
    date = withFieldWidth(date, QLatin1Char('d'), 2);
    const QString pattern = date + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    return locale.toString(localTime(instant), pattern);
}

QString DateTexts::receivedAtAccessibility(Timestamp instant, const QLocale& locale) {
    const QString pattern =
        mediumDatePattern(locale) + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    return locale.toString(localTime(instant), pattern);
}

QString DateTexts::historyTime(Timestamp instant, const QLocale& locale) {
    const QString pattern = withoutField(mediumDatePattern(locale), QLatin1Char('y')) +
                            QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    return locale.toString(localTime(instant), pattern);
}

}  // namespace kestrin
