#include "app/views/dialogs/DataCommandProgressDialog.h"

namespace kestrin {

DataCommandProgressDialog::DataCommandProgressDialog(QWidget* parent) : QProgressDialog(parent) {
    setObjectName(QStringLiteral("dataCommandProgress"));
    setWindowTitle(QStringLiteral("Velmora"));
    setWindowModality(Qt::WindowModal);
    setCancelButton(nullptr);
    setMinimumDuration(300);
    setAutoClose(false);
    setAutoReset(false);
    // A fresh dialog must not show itself before the first report.
    reset();
}

QString DataCommandProgressDialog::labelFor(DataCommandProgress::Command command) {
    switch (command) {
        case DataCommandProgress::Command::exportArchive:
            return QStringLiteral("正在导出数据归档…");
        case DataCommandProgress::Command::restoreArchive:
            return QStringLiteral("正在恢复数据归档…");
    }
    return {};
}

void DataCommandProgressDialog::showProgress(const DataCommandProgress& progress) {
    if (progress.finished) {
        reset();
        hide();
        return;
    }
    setLabelText(labelFor(progress.command));
    // A maximum of 0 shows a busy bar.
    setRange(0, int(qMin<std::int64_t>(progress.total, INT_MAX)));
    // setValue keeps the window painted while the command holds the main thread.
    setValue(int(qMin<std::int64_t>(progress.completed, INT_MAX)));
}

}  // namespace kestrin
