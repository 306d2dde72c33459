#pragma once

// Runs the real orvalt-cli for a test: a copy of the program in a folder of its own with the
// settings file the test gives, a user settings store of its own (XDG_CONFIG_HOME), and a host
// folder to work in. Standard input is not a terminal, so questions are refused as in a script.

#include "support/HostFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace orvalt::test {

inline const QByteArray kDefaultIni = "[Product]\nModel=KD7350\nMedium1=INT MEM\nMedium2=Card 1\n"
                                      "Medium3=Card 2\nMedium4=FD\n";

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CliRig
{
public:
    // Where the program lies: in a folder of its own with the settings file beside it, or in the
    // bin/ folder of an installed prefix whose share/orvalt/orvalt.ini is the installed default.
    enum class Layout
    {
        Folder,
        Installed
    };

    explicit CliRig(const QByteArray& ini = kDefaultIni, Layout layout = Layout::Folder)
        : m_layout(layout)
    {
        QDir root(m_dir.path());
        const QString bin =
            layout == Layout::Folder ? QStringLiteral("program") : QStringLiteral("prefix/bin");
        root.mkpath(bin);
        root.mkpath(QFileInfo(iniPath()).path());
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("home"));
        root.mkpath(QStringLiteral("host"));
        m_program = root.filePath(bin + QStringLiteral("/orvalt-cli"));
        m_ready = QFile::copy(QStringLiteral(ORVALT_CLI_PATH), m_program) && writeIni(ini);
    }

    bool isReady() const { return m_ready; }

    // Lets every user reach the rig's folders and run the program (QTemporaryDir makes them the
    // owner's alone), so that it can run as another user.
    bool openToEveryone() const
    {
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther | QFile::WriteGroup |
                         QFile::WriteOther;
        bool ok = QFile::setPermissions(m_dir.path(), all);
        QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            ok = QFile::setPermissions(it.next(), all) && ok;
        return ok;
    }

    bool writeIni(const QByteArray& ini) const
    {
        QFile file(iniPath());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(ini) == ini.size();
    }
    // The settings file beside the program, or the installed default.
    QString iniPath() const
    {
        return QDir(m_dir.path())
            .filePath(m_layout == Layout::Folder ? QStringLiteral("program/orvalt.ini")
                                                 : QStringLiteral("prefix/share/orvalt/orvalt.ini"));
    }
    // The per-user copy of an installed program's settings file, under XDG_CONFIG_HOME.
    QString userIniPath() const
    {
        return QDir(m_dir.path()).filePath(QStringLiteral("config/Orvalt/orvalt.ini"));
    }

    // The window's user settings store, as the program finds it under XDG_CONFIG_HOME.
    void store(const QString& key, const QString& value) const
    {
        QSettings settings(QDir(m_dir.path()).filePath(QStringLiteral("config/Orvalt/orvalt.conf")),
                           QSettings::IniFormat);
        settings.setValue(key, value);
    }

    // The folder the program runs in; relative host paths start here.
    QString host(const QString& name = QString()) const
    {
        const QString folder = QDir(m_dir.path()).filePath(QStringLiteral("host"));
        return name.isEmpty() ? folder : QDir(folder).filePath(name);
    }

    // Starts the program, with more environment variables where given; standard input is closed at
    // once.
    void start(QProcess& process, const QStringList& arguments,
               const QHash<QString, QString>& environment = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(m_dir.path()).filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("HOME"), QDir(m_dir.path()).filePath(QStringLiteral("home")));
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(host());
        process.start(m_program, arguments);
        process.closeWriteChannel();
    }

    CliResult run(const QStringList& arguments) const
    {
        QProcess process;
        start(process, arguments);
        return finish(process);
    }

    static CliResult finish(QProcess& process)
    {
        CliResult result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            result.err = QStringLiteral("<did not end>");
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

private:
    QTemporaryDir m_dir;
    Layout m_layout;
    QString m_program;
    bool m_ready = false;
};

// What a run did, for a failed check's message.
inline const char* show(const CliResult& r)
{
    static QByteArray text;
    text = QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(r.exitCode).arg(r.out, r.err).toLocal8Bit();
    return text.constData();
}

// Every file and folder beneath a folder, by relative path ("SUB/" for a folder), with the
// contents of the files: two trees are the same when these are.
inline QMap<QString, QByteArray> treeOf(const QString& folder)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = base.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            tree.insert(relative + QLatin1Char('/'), QByteArray());
        } else {
            QFile file(path);
            tree.insert(relative,
                        file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
        }
    }
    return tree;
}

} // namespace orvalt::test
