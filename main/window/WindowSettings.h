#pragma once

#include <QString>

class Form1;

// The main window's choices kept between sessions: the rule, the ticked domains, the channel
// count, the window's geometry and the file dialog's folder, in an INI file in the user's
// config folder. A file that cannot be read, written or understood leaves the defaults and
// changes nothing else; a value that makes no sense is passed over on its own.
class WindowSettings
{
public:
    // <user config folder>/Quorvex/Quorvex.ini
    static QString userFile();

    // The file that restore() and save() use. Empty, as it starts, keeps nothing: only the
    // program names the user's file, so windows made elsewhere never touch it.
    static void setFile(const QString &path);
    static QString file();

    static void restore(Form1 &form);
    // Returns whether the file was written.
    static bool save(const Form1 &form);
};
