#include "startup/Form2.h"

#include "config/ProgramFiles.h"
#include "httpfetch/HttpFetch.h"
#include "manifest/Manifest.h"
#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFolder.h"
#include "platform/SelfUpdate.h"
#include "platform/StagedFiles.h"
#include "platform/Twips.h"
#include "platform/WindowTimer.h"
#include "startup/SplashPicture.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>

namespace {

QFrame *edge(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, QColor(0x4a, 0x5d, 0x73));
    line->setPalette(pal);
    line->setGeometry(geometry);
    return line;
}

} // namespace

Form2::Form2(const ServerConfig &config, MainWindowFactory openMain, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_updateBase(config.updateBase)
    , m_openMain(std::move(openMain))
{
    setFixedSize(Twips::toPixels(6660), Twips::toPixels(1530));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(SplashPicture::draw());
    Image1->resize(SplashPicture::Width, SplashPicture::Height);

    // The frame and the picture, placed from the window's own size as it loads.
    ticks = 0;
    const int w = width();
    const int h = height();
    Line1 = edge(this, QStringLiteral("Line1"), QRect(0, 0, 1, h));
    Line2 = edge(this, QStringLiteral("Line2"), QRect(w - 1, 0, 1, h));
    Line3 = edge(this, QStringLiteral("Line3"), QRect(0, h - 1, w, 1));
    Line4 = edge(this, QStringLiteral("Line4"), QRect(0, 0, w, 1));
    Image1->move(Twips::toPixels(120), Twips::toPixels(30));

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());

    Timer1 = new WindowTimer(100, this);
    connect(Timer1, &WindowTimer::timeout, this, &Form2::Timer1_Timer);
    Timer1->setEnabled(true);
}

void Form2::Timer1_Timer()
{
    ticks = qint16(ticks + 1);
    if (ticks == 2) {
        installSkinComponent();
        finishInterruptedUpdate();
    }
    if (ticks == 3)
        versionCheck();
}

void Form2::installSkinComponent()
{
    // The skinning code is built into both programs, so the component is always present
    // and there is nothing to copy or register.
    m_skinChecked = true;
}

void Form2::finishInterruptedUpdate()
{
    const StagedFiles::Outcome outcome = StagedFiles::finishInterrupted(ProgramFolder::path());
    if (outcome != StagedFiles::Outcome::Nothing)
        MessageBox::information(this, StagedFiles::outcomeText(outcome), QStringLiteral("Quorvex"));
}

void Form2::versionCheck()
{
    // No later tick acts; the timer would only count on while the fetch or a box blocks.
    Timer1->setEnabled(false);

    buildver = Manifest::buildVersion();
    if (m_skipVersionCheck) {
        openMainWindow();
        return;
    }
    const QString text = HttpFetch::fetchtext(Manifest::manifestUrl(m_updateBase));
    if (text.contains(Manifest::programName(), Qt::CaseSensitive)) {
        updinfo = Manifest::split(text);
        srvver = Manifest::integerPart(updinfo.value(0)).value_or(0);
    }
    // Installed is what either the build or update.dat says, whichever is later: an update may
    // bring update.dat without a rebuilt program, and the updater goes by update.dat alone.
    // Handing over when it would find nothing to do starts the two programs in a circle.
    const QString installed = QString::number(Manifest::readInstalledVersion(ProgramFolder::path()));
    if (!Manifest::newerThanBuild(text, buildver) || !Manifest::newerThanBuild(text, installed)) {
        openMainWindow();
        return;
    }
    // An install the updater could not rewrite (a package, a read-only folder) keeps its
    // program: the user is told where the update comes from and works on meanwhile.
    if (!SelfUpdate::allowed(ProgramFolder::path(), Manifest::safeFileNames(updinfo))) {
        MessageBox::information(this, SelfUpdate::refusal(updinfo.value(0).trimmed()), ProgramFiles::Main);
        openMainWindow();
        return;
    }

    MessageBox::information(this, QStringLiteral("发现新版本，系统正在关闭本程序，进行软件升级"),
                            ProgramFiles::Main);
    const QString updater = ProgramFolder::file(ProgramFiles::Updater);
    if (!ProcessLauncher::startDetached(updater)) {
        // Without an updater the old version is still better than no program at all.
        MessageBox::information(this, QStringLiteral("无法启动升级程序：") + updater, ProgramFiles::Main);
        openMainWindow();
        return;
    }
    hide();
    emit endProgram();
}

void Form2::openMainWindow()
{
    QWidget *mainWindow = m_openMain ? m_openMain() : nullptr;
    if (mainWindow)
        mainWindow->show();
    Timer1->setEnabled(false);
    close();
}
