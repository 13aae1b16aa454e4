#include "WindowProbe.h"

#include "TestFiles.h"

#include "run/QueryRun.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "window/Form1.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

QString WindowProbe::buttons() const
{
    QString s;
    for (const QPushButton *b : m_form.commands())
        s += b->isEnabled() ? u'1' : u'0';
    return s;
}

QString WindowProbe::ticks() const
{
    QString s;
    for (const QCheckBox *c : m_form.checks())
        s += c->isChecked() ? u'1' : u'0';
    return s;
}

void WindowProbe::setTicks(const QString &ticks)
{
    const auto boxes = m_form.checks();
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(ticks.at(qsizetype(i)) == u'1');
}

int WindowProbe::queryTimers() const
{
    int n = 0;
    for (int i = 0; i < QueryRun::ChannelCount; ++i)
        n += m_form.Timerme(i).isEnabled() || m_form.Timer1(i).isEnabled();
    return n;
}

QStringList WindowProbe::rows() const
{
    const DomainListModel &m = *m_form.listModel();
    QStringList rows;
    for (int k = 1; k <= m.size(); ++k) {
        QString row = m.domain(k) + u'/' + DomainListModel::stateText(m.state(k));
        if (m.result(k) != DomainListModel::Result::None)
            row += u'/' + DomainListModel::resultText(m.result(k));
        rows << row;
    }
    return rows;
}

QString WindowProbe::importFile(const char *name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QString::fromLatin1(name));
    if (!QFile::exists(path) && !writeFile(path, bytes))
        QTest::qFail("cannot write the file to import", __FILE__, __LINE__);
    return path;
}

void WindowProbe::play(const QString &steps)
{
    const auto start = [this](const char *rule) {
        m_form.domaingz->setText(QString::fromUtf8(rule));
        m_form.Command1_Click();
    };
    const auto import = [this](const QString &path) {
        FileDialog::setHook([path](bool) { return path; });
        m_form.Command11_Click();
        FileDialog::setHook({});
    };
    QString expanded = steps;
    expanded.replace(u'f', QStringLiteral("qwq"));
    for (const QChar step : std::as_const(expanded)) {
        switch (step.toLatin1()) {
        case 'g': start("[a,b][c]"); break;
        case 's': start("[a,b]"); break;
        case 'x': start("[a b]"); break;
        case 'i': import(importFile("list.txt", "a.com\r\nb.com\r\n")); break;
        case 'I': import(importFile("empty.txt", "")); break;
        case 'p': m_form.Command2_Click(); break;
        case 'c': m_form.Command3_Click(); break;
        case 'e': m_form.Command4_Click(); break;
        case 't':
            for (int n = 0; n < 1000 && m_form.Timersc->isEnabled(); ++n)
                m_form.Timersc_Timer();
            break;
        case 'P': m_form.Command5_Click(); break;
        case 'C': m_form.Command6_Click(); break;
        case 'E': m_form.Command7_Click(); break;
        case 'q':
            for (int i = 0; i < QueryRun::ChannelCount; ++i) {
                if (m_form.Timerme(i).isEnabled())
                    m_form.Timerme_Timer(i);
            }
            break;
        case 'w':
            QTRY_VERIFY_WITH_TIMEOUT(m_form.store()->countState(DomainListModel::State::Querying) == 0, 5000);
            break;
        default: QTest::qFail(qPrintable(QStringLiteral("unknown step ") + step), __FILE__, __LINE__);
        }
    }
}
