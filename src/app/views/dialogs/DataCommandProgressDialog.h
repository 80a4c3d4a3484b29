#pragma once

#include <QProgressDialog>

#include "app/model/DataCommandProgress.h"

namespace kestrin {

// The progress of an archive export or restore: "正在导出数据归档…" or
// "正在恢复数据归档…" with a bar (busy while the amount of work is unknown).
// It appears only when the command takes more than a moment, cannot be
// cancelled (the command runs to its end), and closes when it finishes.
class DataCommandProgressDialog : public QProgressDialog {
    Q_OBJECT

  public:
    explicit DataCommandProgressDialog(QWidget* parent = nullptr);

    static QString labelFor(DataCommandProgress::Command command);

    // Shows `progress`; called for every report of the running command.
    void showProgress(const DataCommandProgress& progress);
};

}  // namespace kestrin
