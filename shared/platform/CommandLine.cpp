#include "platform/CommandLine.h"

#include "manifest/Manifest.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
const QString SkipUpdateCheck = QStringLiteral("skip-update-check");
} // namespace

CommandLine::CommandLine(const QString &program, const QString &description)
    : m_program(program)
    , m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示本帮助并退出。"))
    , m_version({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("显示版本并退出。"))
    , m_skipUpdateCheck(SkipUpdateCheck, QStringLiteral("本次启动不检查新版本（升级程序启动本程序时使用）。"))
{
    m_parser.setApplicationDescription(description);
    // "-platform" is one word for QApplication, never the letters p, l, a ...
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
}

QString CommandLine::version()
{
    return QStringLiteral(QUORVEX_VERSION " (") + Manifest::buildVersion() + QLatin1Char(')');
}

void CommandLine::acceptSkipUpdateCheck()
{
    m_acceptsSkip = m_parser.addOption(m_skipUpdateCheck);
}

bool CommandLine::skipUpdateCheck() const
{
    return m_acceptsSkip && m_parser.isSet(m_skipUpdateCheck);
}

QString CommandLine::skipUpdateCheckArgument()
{
    return QStringLiteral("--") + SkipUpdateCheck;
}

int CommandLine::answerEarly(int argc, char *argv[])
{
    // The parser's help text needs an application object; this one needs no display.
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationName(m_program);
    QCoreApplication::setApplicationVersion(version());
    m_parser.parse(QCoreApplication::arguments()); // unknown options are judged later
    if (m_parser.isSet(m_help)) {
        std::fputs(qPrintable(m_parser.helpText()), stdout);
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        std::fputs(qPrintable(m_program + QLatin1Char(' ') + version() + QLatin1Char('\n')), stdout);
        return 0;
    }
    // Qt picks X11 or Wayland from these; a platform named outright is Qt's business.
    const QStringList arguments = QCoreApplication::arguments();
    const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
        || arguments.contains(QLatin1String("-platform")) || arguments.contains(QLatin1String("--platform"));
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs(qPrintable(m_program + QStringLiteral("：需要图形会话（没有设置 DISPLAY 或 WAYLAND_DISPLAY）。\n")), stderr);
        return 1;
    }
    return -1;
}

int CommandLine::refuseRest(const QStringList &arguments)
{
    QString error;
    if (!m_parser.parse(arguments))
        error = m_parser.errorText();
    else if (!m_parser.positionalArguments().isEmpty())
        error = QStringLiteral("多余的参数：") + m_parser.positionalArguments().join(QLatin1Char(' '));
    if (error.isEmpty())
        return -1;
    std::fputs(qPrintable(m_program + QStringLiteral("：") + error + QStringLiteral("\n用 --help 查看可用的选项。\n")),
               stderr);
    return 1;
}
