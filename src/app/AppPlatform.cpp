#include "app/AppPlatform.h"

#include <QProcessEnvironment>

namespace kestrin {

std::map<std::string, std::string> processEnvironment() {
    std::map<std::string, std::string> environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& key : system.keys()) {
        environment.emplace(key.toStdString(), system.value(key).toStdString());
    }
    return environment;
}

}  // namespace kestrin
