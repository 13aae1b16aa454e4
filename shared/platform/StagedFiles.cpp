#include "platform/StagedFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <stdio.h>
#include <unistd.h>

namespace {

const QString JournalName = QStringLiteral(".quorvex-update.journal");
const QString LockName = QStringLiteral(".quorvex-update.lock");
// Every temporary and backup file of ours, the journal's own new copy included.
const QStringList Debris = {QStringLiteral(".quorvex-*.part"), QStringLiteral(".quorvex-*.old")};
const QStringList StepNames = {QStringLiteral("staged"), QStringLiteral("backed up"), QStringLiteral("in place")};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// rename(2): replaces an existing target in one step, so the target is never missing.
bool renameOver(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

// A name the journal may hold: one file of the program folder, nothing beyond it.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") && name != QLatin1String("..");
}

QString stoppedText()
{
    return QStringLiteral("升级已中止");
}

} // namespace

StagedFiles::StagedFiles(const QString &folder)
    : m_folder(folder)
    , m_lock(folder + QLatin1Char('/') + LockName)
{
    // Only a lock whose updater is gone is stale, however long an update takes.
    m_lock.setStaleLockTime(0);
}

StagedFiles::~StagedFiles()
{
    discard();
}

QString StagedFiles::temporaryPath(const QString &folder, const QString &suffix)
{
    return folder + QStringLiteral("/.quorvex-") + QString::number(QRandomGenerator::global()->generate64(), 36)
           + QLatin1Char('.') + suffix;
}

bool StagedFiles::lock()
{
    return m_lock.isLocked() || m_lock.tryLock(0);
}

QString StagedFiles::journalPath() const
{
    return m_folder + QLatin1Char('/') + JournalName;
}

bool StagedFiles::step()
{
    if (!m_stepHook || m_stepHook(++m_steps))
        return true;
    m_stopped = true;
    m_lock.unlock(); // as a killed updater's lock would be: stale, free for the next start
    return false;
}

void StagedFiles::add(const QString &temporary, const QString &name)
{
    if (m_stopped)
        return;
    if (!m_lock.isLocked()) {
        QFile::remove(temporary); // the folder is not ours: nothing may be staged in it
        return;
    }
    Entry entry{temporary, m_folder + QLatin1Char('/') + name};
    const QFileInfo staged(temporary);
    if (staged.isFile()) {
        entry.size = staged.size();
        entry.sha256 = sha256(temporary);
    }
    auto same = std::find_if(m_entries.begin(), m_entries.end(), [&entry](const Entry &e) { return e.target == entry.target; });
    if (same != m_entries.end()) {
        QFile::remove(same->temporary);
        *same = entry;
    } else {
        m_entries.append(entry);
    }
    if (!saveJournal() && m_error.isEmpty())
        m_error = QStringLiteral("无法写入升级记录 ") + JournalName + QStringLiteral("：") + systemError();
    step();
}

bool StagedFiles::saveJournal()
{
    QJsonArray files;
    for (const Entry &e : std::as_const(m_entries)) {
        files.append(QJsonObject{{QStringLiteral("temporary"), QFileInfo(e.temporary).fileName()},
                                 {QStringLiteral("target"), QFileInfo(e.target).fileName()},
                                 {QStringLiteral("size"), double(e.size)},
                                 {QStringLiteral("sha256"), QString::fromLatin1(e.sha256)},
                                 {QStringLiteral("step"), StepNames.at(int(e.step))},
                                 {QStringLiteral("backup"), e.backup.isEmpty() ? QString() : QFileInfo(e.backup).fileName()}});
    }
    const QByteArray text = QJsonDocument(QJsonObject{{QStringLiteral("committing"), m_committing},
                                                      {QStringLiteral("files"), files}}).toJson();
    // A new copy renamed over the old one: a stop while writing leaves the older record whole.
    const QString part = journalPath() + QStringLiteral(".part");
    QFile file(part);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()
                         && file.flush() && ::fsync(file.handle()) == 0;
    file.close();
    if (written && renameOver(part, journalPath()))
        return true;
    QFile::remove(part);
    return false;
}

bool StagedFiles::loadJournal()
{
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject record = QJsonDocument::fromJson(file.read(1024 * 1024)).object();
    const QString folder = m_folder + QLatin1Char('/');
    QList<Entry> entries;
    for (const QJsonValue &value : record.value(QStringLiteral("files")).toArray()) {
        const QJsonObject f = value.toObject();
        const QString temporary = f.value(QStringLiteral("temporary")).toString();
        const QString target = f.value(QStringLiteral("target")).toString();
        const QString backup = f.value(QStringLiteral("backup")).toString();
        const qsizetype step = StepNames.indexOf(f.value(QStringLiteral("step")).toString());
        if (!isPlainName(temporary) || !isPlainName(target) || (!backup.isEmpty() && !isPlainName(backup)) || step < 0)
            return false;
        entries.append({folder + temporary, folder + target, qint64(f.value(QStringLiteral("size")).toDouble(-1)),
                        f.value(QStringLiteral("sha256")).toString().toLatin1(), Step(step),
                        backup.isEmpty() ? QString() : folder + backup});
    }
    m_entries = entries;
    m_committing = record.value(QStringLiteral("committing")).toBool();
    return true;
}

bool StagedFiles::isWhole(const QString &path, const Entry &entry) const
{
    const QFileInfo file(path);
    return entry.size >= 0 && file.isFile() && file.size() == entry.size && sha256(path) == entry.sha256;
}

QString StagedFiles::backupOf(const QString &target, QString *error) const
{
    // A second name for the old file: it stays in place under its own name meanwhile.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString backup = temporaryPath(m_folder, QStringLiteral("old"));
        if (::link(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData()) == 0)
            return backup;
        if (errno == EEXIST)
            continue;
        // A file system without hard links gets a copy instead.
        if (QFile::copy(target, backup))
            return backup;
        *error = QStringLiteral("无法备份文件 ") + QFileInfo(target).fileName() + QStringLiteral("：") + systemError();
        return QString();
    }
    *error = QStringLiteral("无法备份文件 ") + QFileInfo(target).fileName();
    return QString();
}

QString StagedFiles::commit()
{
    if (m_stopped)
        return stoppedText();
    // Each step is in the journal before the next one is taken.
    QString error = m_error;
    m_committing = true;
    if (error.isEmpty() && !saveJournal())
        error = QStringLiteral("无法写入升级记录 ") + JournalName + QStringLiteral("：") + systemError();
    if (error.isEmpty() && !step())
        return stoppedText();
    for (Entry &entry : m_entries) {
        if (!error.isEmpty())
            break;
        if (entry.step == Step::Renamed)
            continue;
        if (entry.step == Step::Staged) {
            const QFileInfo old(entry.target);
            if (old.exists() || old.isSymLink()) {
                entry.backup = backupOf(entry.target, &error);
                if (entry.backup.isEmpty())
                    break;
                if (!step())
                    return stoppedText();
            }
            entry.step = Step::BackedUp;
            if (!saveJournal()) {
                error = QStringLiteral("无法写入升级记录 ") + JournalName + QStringLiteral("：") + systemError();
                break;
            }
            if (!step())
                return stoppedText();
        }
        if (!renameOver(entry.temporary, entry.target)) {
            error = QStringLiteral("无法替换文件 ") + QFileInfo(entry.target).fileName() + QStringLiteral("：") + systemError();
            break;
        }
        if (!step())
            return stoppedText();
        entry.step = Step::Renamed;
        if (!saveJournal()) {
            error = QStringLiteral("无法写入升级记录 ") + JournalName + QStringLiteral("：") + systemError();
            break;
        }
        if (!step())
            return stoppedText();
    }
    if (!error.isEmpty()) {
        restore();
        return error;
    }
    for (const Entry &entry : std::as_const(m_entries)) {
        if (!entry.backup.isEmpty()) {
            QFile::remove(entry.backup);
            if (!step())
                return stoppedText();
        }
    }
    m_entries.clear();
    m_committing = false;
    QFile::remove(journalPath());
    return QString();
}

void StagedFiles::discard()
{
    restore();
    m_lock.unlock(); // the update is over
}

void StagedFiles::restore()
{
    if (m_stopped || !m_lock.isLocked())
        return;
    // Whatever was put in place goes back, newest first: a backup over its target, or no file
    // where there was none. The old files of entries never reached were not touched.
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        const Entry &entry = m_entries.at(i);
        if (entry.step == Step::Staged)
            continue;
        if (!entry.backup.isEmpty())
            renameOver(entry.backup, entry.target);
        else
            QFile::remove(entry.target);
    }
    for (const Entry &entry : std::as_const(m_entries)) {
        QFile::remove(entry.temporary);
        if (!entry.backup.isEmpty())
            QFile::remove(entry.backup); // still there when it named the very file it was to restore
    }
    m_entries.clear();
    m_committing = false;
    m_error.clear();
    QFile::remove(journalPath());
}

StagedFiles::Outcome StagedFiles::finishInterrupted(const QString &folder)
{
    StagedFiles files(folder);
    const QDir dir(folder);
    const bool journal = QFileInfo::exists(files.journalPath());
    // A lock file alone is an updater at work, or one killed before it wrote anything.
    const bool left = journal || dir.exists(LockName) || !dir.entryList(Debris, QDir::Files | QDir::Hidden | QDir::System).isEmpty();
    if (!left || !files.lock())
        return Outcome::Nothing;
    Outcome outcome = Outcome::Nothing;
    if (journal && files.loadJournal()) {
        // Complete only what the updater had begun to put in place with every file at hand.
        bool whole = files.m_committing;
        for (Entry &entry : files.m_entries) {
            // Renamed into place just before the stop, the journal not told yet.
            if (entry.step == Step::BackedUp && !files.isWhole(entry.temporary, entry) && files.isWhole(entry.target, entry))
                entry.step = Step::Renamed;
            whole = whole && (entry.step == Step::Renamed || files.isWhole(entry.temporary, entry));
        }
        if (whole && files.commit().isEmpty()) {
            outcome = Outcome::Completed;
        } else {
            files.restore();
            outcome = Outcome::RolledBack;
        }
    }
    // What no journal names: downloads cut short, backups made just before a stop.
    for (const QString &name : dir.entryList(Debris, QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(dir.filePath(name));
    QFile::remove(files.journalPath());
    return outcome;
}

QString StagedFiles::outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed:
        return QStringLiteral("上次升级中途停止，现已完成升级。");
    case Outcome::RolledBack:
        return QStringLiteral("上次升级中途停止，已恢复为原来的版本。");
    case Outcome::Nothing:
        break;
    }
    return QString();
}
