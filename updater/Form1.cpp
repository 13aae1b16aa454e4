#include "updater/Form1.h"

#include "config/ProgramFiles.h"
#include "manifest/Manifest.h"
#include "platform/CommandLine.h"
#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFolder.h"
#include "platform/SelfUpdate.h"
#include "platform/StagedFiles.h"
#include "platform/Twips.h"
#include "platform/WindowTimer.h"
#include "updater/DL.h"
#include "updater/ProgressText.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <limits>

namespace Updater {

namespace {

const QString Title = QStringLiteral("软件升级");

} // namespace

Form1::Form1(const ServerConfig &config, QWidget *parent)
    : QWidget(parent)
    , m_updateBase(config.updateBase)
{
    setWindowTitle(Title);
    setFixedSize(Twips::toPixels(5895), Twips::toPixels(1200));

    Label1 = new QLabel(QStringLiteral("本程序正在升级成v1.2版本，请稍后……"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Twips::toPixels(QRect(120, 120, 4095, 255)));
    DL = new ::DL(this);
    DL->setObjectName(QStringLiteral("DL"));
    DL->setGeometry(Twips::toPixels(QRect(120, 480, 5655, 255)));
    Label3 = new QLabel(QStringLiteral("正在下载****文件"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(Twips::toPixels(QRect(120, 840, 3255, 255)));
    lblProg = new QLabel(QStringLiteral("已完成 0%"), this);
    lblProg->setObjectName(QStringLiteral("lblProg"));
    lblProg->setGeometry(Twips::toPixels(QRect(4320, 840, 1455, 255)));

    Timer1 = new WindowTimer(100, this);
    Timer2 = new WindowTimer(2000, this);
    connect(Timer1, &WindowTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &WindowTimer::timeout, this, &Form1::Timer2_Timer);
    connect(DL, &::DL::Progress, this, &Form1::DL_Progress);
    connect(DL, &::DL::Failed, this, &Form1::DL_Failed);
    connect(DL, &::DL::Staged, this, &Form1::DL_Staged);

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());

    fileidx = 2;
    Skin1.LoadSkin(ProgramFolder::file(ProgramFiles::Skin));
    Skin1.ApplySkin(this);
}

Form1::~Form1() = default;

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_activationQueued)
        return;
    m_activationQueued = true;
    // Let the window appear before the blocking fetch.
    QTimer::singleShot(0, this, &Form1::Form_Activate);
}

void Form1::Form_Activate()
{
    if (m_activated || m_ended)
        return;
    m_activated = true;

    // What an updater stopped half-way left behind is dealt with before anything else.
    if (const StagedFiles::Outcome outcome = StagedFiles::finishInterrupted(ProgramFolder::path());
        outcome != StagedFiles::Outcome::Nothing)
        MessageBox::information(this, StagedFiles::outcomeText(outcome), Title);

    updinfo = Manifest::split(HttpFetch::fetchtext(Manifest::manifestUrl(m_updateBase), m_fetchTimeoutMs));
    const qint32 installed = Manifest::readInstalledVersion(ProgramFolder::path());
    Manifest::UpdateCheck check = Manifest::compare(updinfo, installed);
    // fileidx counts in 16 bits; a list it cannot walk is no manifest of ours.
    if (updinfo.size() > std::numeric_limits<qint16>::max())
        check = Manifest::UpdateCheck::Unavailable;

    if (check == Manifest::UpdateCheck::Unavailable) {
        MessageBox::information(this, QStringLiteral("无法获取升级信息，请稍后再试"), Title);
        startMain();
        end();
        return;
    }
    if (check == Manifest::UpdateCheck::UpToDate) {
        MessageBox::information(this, QStringLiteral("当前程序已经是最新版本，无需升级"), Title);
        Timer1->setEnabled(false);
        startMain();
        end();
        return;
    }

    // Every name is joined to the program folder and to the server path: refuse the whole
    // list before anything is downloaded if one of them could leave either or hide itself.
    for (qsizetype i = 2; i < updinfo.size(); ++i) {
        const QString name = Manifest::fileName(updinfo.at(i));
        if (!Manifest::isSafeFileName(name)) {
            MessageBox::information(this, QStringLiteral("升级信息中含有不安全的文件名：") + Manifest::visibleName(name), Title);
            end();
            return;
        }
        updinfo[i] = name;
    }

    // Nothing is downloaded that could not be put in place; the old program goes on.
    if (!SelfUpdate::allowed(ProgramFolder::path(), updinfo.mid(2))) {
        MessageBox::information(this, SelfUpdate::refusal(updinfo.at(0).trimmed()), Title);
        startMain();
        end();
        return;
    }

    m_staged = std::make_unique<StagedFiles>(ProgramFolder::path());
    if (!m_staged->lock()) {
        MessageBox::information(this, QStringLiteral("另一个升级程序正在运行，请稍后再试。"), Title);
        end();
        return;
    }
    Timer1->setEnabled(true);
    Label1->setText(QStringLiteral("本程序正在生成") + updinfo.at(1) + QStringLiteral("版本，请稍后……"));
}

void Form1::Timer1_Timer()
{
    if (m_ended || m_stopped)
        return;
    Timer2->setEnabled(false);
    if (fileidx > updinfo.size() - 1) {
        // The question is asked once: nothing ticks while it is open.
        Timer1->setEnabled(false);
        // Every file has arrived whole: now they all replace the old ones, or none does.
        if (const QString error = m_staged ? m_staged->commit() : QString(); !error.isEmpty()) {
            fail(error);
            return;
        }
        m_staged.reset(); // in place: the folder is free again, whatever becomes of this window
        const MessageBox::Answer answer = MessageBox::question(
            this, QStringLiteral("程序已经升级为最新版本，是否开始运行本程序？"), QStringLiteral("升级完成"));
        if (answer == MessageBox::Answer::Yes)
            startMain();
        end();
        return;
    }

    Timer1->setEnabled(false); // nothing more until the file reports "100%"
    const QString name = updinfo.at(fileidx);
    DL->setSourceUrl(Manifest::fileUrl(m_updateBase, name));
    DL->setSaveFolder(ProgramFolder::path());
    DL->StartDownload();
    Label3->setText(QStringLiteral("正在下载") + name);
}

void Form1::Timer2_Timer()
{
    if (m_ended || m_stopped)
        return;
    ++fileidx;
    Timer1->setEnabled(true);
}

void Form1::DL_Progress(float fraction)
{
    if (m_ended || m_stopped)
        return;
    lblProg->setText(ProgressText::caption(fraction));
    if (ProgressText::percent(fraction) == QLatin1String("100%"))
        Timer2->setEnabled(true);
}

void Form1::DL_Failed(const QString &reason)
{
    if (m_ended || m_stopped)
        return;
    fail(QStringLiteral("下载") + updinfo.value(fileidx) + QStringLiteral("失败：") + reason);
}

void Form1::DL_Staged()
{
    if (m_ended || m_stopped)
        return;
    m_staged->add(DL->takeStaged(), updinfo.value(fileidx));
}

void Form1::fail(const QString &what)
{
    m_stopped = true;
    Timer1->setEnabled(false);
    Timer2->setEnabled(false);
    DL->Abort();
    if (m_staged)
        m_staged->discard();
    Label3->setText(what);
    const MessageBox::Answer answer = MessageBox::question(
        this, what + QStringLiteral("\n没有更改任何文件。是否运行原来的程序？"), Title);
    if (answer == MessageBox::Answer::Yes)
        startMain();
    end();
}

void Form1::startMain()
{
    const QString program = ProgramFolder::file(ProgramFiles::Main);
    if (!ProcessLauncher::startDetached(program, {CommandLine::skipUpdateCheckArgument()}))
        MessageBox::information(this, QStringLiteral("无法启动程序：") + program, Title);
}

void Form1::end()
{
    m_ended = true;
    Timer1->setEnabled(false);
    Timer2->setEnabled(false);
    DL->Abort();
    if (m_staged)
        m_staged->discard();
    close();
    emit ended();
}

} // namespace Updater
