#pragma once

#include <QList>
#include <QLockFile>
#include <QString>

#include <functional>

// The complete downloads of one update, each a temporary file in the program folder waiting
// to replace its target. They replace their targets all together or not at all; whatever is
// not committed is removed, so no temporary file outlives the update.
//
// A small journal in the folder records each step before the next is taken: which downloads
// are staged (with their sizes and checksums), which old files have a backup, which new ones
// are in place. An updater killed half-way leaves it behind, and the next start of either
// program (finishInterrupted) completes the update when every staged file is there and
// whole, or puts every old file back otherwise.
class StagedFiles
{
public:
    explicit StagedFiles(const QString &folder);
    ~StagedFiles();
    StagedFiles(const StagedFiles &) = delete;
    StagedFiles &operator=(const StagedFiles &) = delete;

    // A new name ".quorvex-<random>.<suffix>" in `folder`: "part" for a download, "old" for a
    // backup. The leading "." keeps it apart from every name a manifest may list.
    static QString temporaryPath(const QString &folder, const QString &suffix);

    // The folder is this update's from its first download until discard (or this object's
    // end), so that a program starting meanwhile leaves it alone. False when another updater holds it (or the folder
    // cannot be written); nothing is staged, committed or removed without it.
    bool lock();

    // `temporary` (a file in the folder) is to replace the folder's file `name`. A name given
    // again replaces the earlier download.
    void add(const QString &temporary, const QString &name);
    qsizetype count() const { return m_entries.size(); }
    bool committing() const { return m_committing; }

    // Renames every temporary file over its target, in the order added. When one rename
    // fails, the targets already replaced get their old files back and the error is
    // returned; empty on success. Either way nothing staged is left.
    QString commit();
    // Puts back whatever was put in place, removes every temporary file and the journal, and
    // leaves the folder to others: the update is over.
    void discard();

    enum class Outcome { Nothing, Completed, RolledBack };
    // At a program's start: finishes or undoes what an updater stopped half-way left in
    // `folder`, and removes every temporary and backup file of ours there. Does nothing while
    // an updater is at work in the folder.
    static Outcome finishInterrupted(const QString &folder);
    // What the user is told of it, once; empty for Nothing.
    static QString outcomeText(Outcome outcome);

    // Test hook: called after each step with its number, from 1. Returning false stops the
    // update right there, as if the updater had been killed: nothing more is done or undone.
    using StepHook = std::function<bool(int step)>;
    void setStepHook(StepHook hook) { m_stepHook = std::move(hook); }

private:
    enum class Step { Staged, BackedUp, Renamed };
    struct Entry
    {
        QString temporary;
        QString target;
        qint64 size = -1;   // of the staged file
        QByteArray sha256;  // of the staged file, in hex
        Step step = Step::Staged;
        QString backup;     // the old file's second name; empty once BackedUp: there was none
    };

    QString journalPath() const;
    bool saveJournal();
    bool loadJournal();
    bool isWhole(const QString &path, const Entry &entry) const;
    QString backupOf(const QString &target, QString *error) const;
    void restore();
    bool step();

    QString m_folder;
    QList<Entry> m_entries;
    QLockFile m_lock;
    bool m_committing = false;
    QString m_error; // a journal that could not be written while staging: the commit fails
    bool m_stopped = false;
    StepHook m_stepHook;
    int m_steps = 0;
};
