#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

// The command line of both programs: --help and --version, and for Quorvex the flag the
// updater starts it with. --help and --version are answered before the QApplication exists,
// so they work without a display.
class CommandLine
{
public:
    CommandLine(const QString &program, const QString &description);

    // Before the QApplication: prints the help or the version to standard output and returns
    // 0 when one of them was asked for. Without a display to open the window on, says so on
    // standard error and returns 1 (Qt itself would abort). Otherwise -1: go on. Options it
    // does not know may be QApplication's own (-platform, -style ...) and are left for later.
    int answerEarly(int argc, char *argv[]);

    // With the QApplication made, which has taken its own options out: anything left is an
    // error, told on standard error with exit code 1; -1 to go on.
    int refuseRest(const QStringList &arguments);

    static QString version(); // "<release> (<build>)"

    // Quorvex's own flag: the updater has just compared the installed version with the
    // server's, so this start skips the splash's check (which could otherwise hand back to the
    // updater, over and over). Call before answerEarly.
    void acceptSkipUpdateCheck();
    bool skipUpdateCheck() const;
    static QString skipUpdateCheckArgument(); // "--skip-update-check"

private:
    QString m_program;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_skipUpdateCheck;
    bool m_acceptsSkip = false;
};
