#pragma once

#include <QList>
#include <QString>

// The complete downloads of one update, each a temporary file in the program folder waiting
// to replace its target. They replace their targets all together or not at all; whatever is
// not committed is removed, so no temporary file outlives the update.
class StagedFiles
{
public:
    explicit StagedFiles(const QString &folder);
    ~StagedFiles();
    StagedFiles(const StagedFiles &) = delete;
    StagedFiles &operator=(const StagedFiles &) = delete;

    // `temporary` (a file in the folder) is to replace the folder's file `name`.
    void add(const QString &temporary, const QString &name);
    qsizetype count() const { return m_entries.size(); }

    // Renames every temporary file over its target, in the order added. When one rename
    // fails, the targets already replaced get their old files back and the error is
    // returned; empty on success. Either way nothing staged is left.
    QString commit();
    // Removes every temporary file.
    void discard();

private:
    struct Entry
    {
        QString temporary;
        QString target;
        QString backup; // a hard link to (or copy of) the old target while committing
    };

    QString backupOf(const QString &target, QString *error) const;
    void rollBack(qsizetype replaced);

    QString m_folder;
    QList<Entry> m_entries;
};
