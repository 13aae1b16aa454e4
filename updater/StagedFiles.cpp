#include "updater/StagedFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <stdio.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// rename(2): replaces an existing target in one step, so the target is never missing.
bool renameOver(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

StagedFiles::StagedFiles(const QString &folder)
    : m_folder(folder)
{
}

StagedFiles::~StagedFiles()
{
    discard();
}

void StagedFiles::add(const QString &temporary, const QString &name)
{
    m_entries.append({temporary, m_folder + QLatin1Char('/') + name, QString()});
}

QString StagedFiles::backupOf(const QString &target, QString *error) const
{
    // A second name for the old file: it stays in place under its own name meanwhile.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString backup = m_folder + QStringLiteral("/.quorvex-")
            + QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".old");
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
    QString error;
    qsizetype replaced = 0;
    for (; replaced < m_entries.size(); ++replaced) {
        Entry &entry = m_entries[replaced];
        const QFileInfo old(entry.target);
        if (old.exists() || old.isSymLink()) {
            entry.backup = backupOf(entry.target, &error);
            if (entry.backup.isEmpty())
                break;
        }
        if (!renameOver(entry.temporary, entry.target)) {
            error = QStringLiteral("无法替换文件 ") + old.fileName() + QStringLiteral("：") + systemError();
            break;
        }
    }
    if (!error.isEmpty()) {
        rollBack(replaced);
        return error;
    }
    for (const Entry &entry : std::as_const(m_entries)) {
        if (!entry.backup.isEmpty())
            QFile::remove(entry.backup);
    }
    m_entries.clear();
    return QString();
}

void StagedFiles::rollBack(qsizetype replaced)
{
    // Newest first, so a name listed twice ends with its oldest content.
    for (qsizetype i = replaced - 1; i >= 0; --i) {
        const Entry &entry = m_entries.at(i);
        if (!entry.backup.isEmpty())
            renameOver(entry.backup, entry.target);
        else
            QFile::remove(entry.target); // there was none before
    }
    for (qsizetype i = replaced; i < m_entries.size(); ++i) {
        if (!m_entries.at(i).backup.isEmpty())
            QFile::remove(m_entries.at(i).backup);
    }
    discard();
}

void StagedFiles::discard()
{
    for (const Entry &entry : std::as_const(m_entries))
        QFile::remove(entry.temporary);
    m_entries.clear();
}
