#include "app/platform/QtDeferredCalls.h"

#include <QMetaObject>

namespace kestrin {

void QtDeferredCalls::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

}  // namespace kestrin
