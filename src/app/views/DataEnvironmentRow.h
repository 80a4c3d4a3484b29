#pragma once

#include <QString>
#include <QWidget>

#include "core/intake/TaskDataEnvironment.h"

namespace kestrin {

// The sidebar's data directory row: the environment's display name with its
// symbol and colour (standard orange, temporary green, custom blue) and, under
// it, the path in a small monospaced font that can be selected for copying.
// Hovering shows the path; assistive technology reads one element,
// "当前任务库，" + name + "，路径 " + path.
class DataEnvironmentRow : public QWidget {
    Q_OBJECT

  public:
    DataEnvironmentRow(TaskDataEnvironment environment, const QString& path,
                       QWidget* parent = nullptr);

    static const char* symbol(TaskDataEnvironment environment);
    static QString accessibilityLabel(TaskDataEnvironment environment, const QString& path);
};

}  // namespace kestrin
