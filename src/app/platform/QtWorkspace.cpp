#include "app/platform/QtWorkspace.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace kestrin {
namespace {

#ifndef Q_OS_MACOS
// Desktop entries that may launch the Codex desktop application.
const QStringList& codexDesktopEntries() {
    static const QStringList entries{
        QtWorkspace::codexBundleIdentifier() + QStringLiteral(".desktop"),
        QStringLiteral("codex.desktop")};
    return entries;
}

// Whether a handler is registered for links of `scheme`. Qt hands such links to
// xdg-open without waiting, so it would report success even when no program
// can take them.
bool hasSchemeHandler(const QString& scheme) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("x-scheme-handler/") + scheme});
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}
#endif

}  // namespace

QString QtWorkspace::codexBundleIdentifier() {
    return QStringLiteral("com.openai.codex");
}

QStringList QtWorkspace::linuxTerminalCandidates(const QString& terminalVariable) {
    QStringList candidates;
    if (!terminalVariable.isEmpty()) candidates << terminalVariable;
    candidates << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
               << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
               << QStringLiteral("mate-terminal") << QStringLiteral("tilix")
               << QStringLiteral("kitty") << QStringLiteral("alacritty")
               << QStringLiteral("wezterm") << QStringLiteral("foot") << QStringLiteral("xterm");
    return candidates;
}

bool QtWorkspace::openURL(const QUrl& url) {
#ifndef Q_OS_MACOS
    const QString scheme = url.scheme().toLower();
    const bool common = scheme == QStringLiteral("file") || scheme == QStringLiteral("http") ||
                        scheme == QStringLiteral("https") || scheme == QStringLiteral("mailto");
    if (!common && !hasSchemeHandler(scheme)) return false;
#endif
    return QDesktopServices::openUrl(url);
}

bool QtWorkspace::openFolder(const QString& path) {
    if (!QFileInfo(path).isDir()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtWorkspace::openCodexApplication() {
#ifdef Q_OS_MACOS
    // `open -b` fails when no application has the identifier, and opens it otherwise.
    return QProcess::execute(QStringLiteral("/usr/bin/open"),
                             {QStringLiteral("-b"), codexBundleIdentifier()}) == 0;
#else
    for (const QString& entry : codexDesktopEntries()) {
        const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
        if (file.isEmpty()) continue;
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (!gio.isEmpty()) return QProcess::startDetached(gio, {QStringLiteral("launch"), file});
        const QString gtkLaunch = QStandardPaths::findExecutable(QStringLiteral("gtk-launch"));
        if (!gtkLaunch.isEmpty()) return QProcess::startDetached(gtkLaunch, {entry});
        return false;
    }
    return false;
#endif
}

bool QtWorkspace::openTerminal(const QString& workingDirectory) {
    const QString directory =
        QFileInfo(workingDirectory).isDir() ? workingDirectory : QDir::homePath();
#ifdef Q_OS_MACOS
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"),
                                   {QStringLiteral("-a"), QStringLiteral("Terminal"), directory});
#else
    const QString variable = qEnvironmentVariable("TERMINAL");
    for (const QString& candidate : linuxTerminalCandidates(variable)) {
        const QString program = QStandardPaths::findExecutable(candidate);
        if (program.isEmpty()) continue;
        QProcess process;
        process.setProgram(program);
        process.setWorkingDirectory(directory);
        return process.startDetached();
    }
    return false;
#endif
}

}  // namespace kestrin
