#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

// For scripts that drive the program from outside, as an operator would, with the
// mouse and keys of the window system (scripts/window-check): a text file that says
// where every named control of every shown window is, so that a click can be put on a
// control by its objectName (docs/controls.md), and what each says. It is rewritten
// whole at most every 50 ms while windows or controls are shown, hidden, moved,
// resized, enabled or disabled, so that it always describes what is on the screen.
class ControlMap : public QObject
{
public:
    // Starts watching every widget of the application; the file is written at once.
    explicit ControlMap(QString path, QObject* parent = nullptr);

    // The file's text: for each visible top-level window a line
    //   window <TAB> window id <TAB> objectName <TAB> x y width height <TAB> 1|0 <TAB> title
    // (the native window id, on X11 the X window; its place on the screen, without the
    // window manager's frame; 1 when enabled),
    // then for each visible control of it with an objectName a line
    //   control <TAB> window id <TAB> objectName <TAB> x y width height <TAB> 1|0 <TAB> text
    // (its place within the window; 1 when it can be used; the text of a button, label,
    // line edit or check box, as it was when the file was written, else empty). Tabs,
    // line breaks and backslashes in texts become "\t", "\n" and "\\"; the numbers of
    // the place are separated by single blanks.
    static QString text(const QList<QWidget*>& windows);

    // Whether the last write failed, and why ("" when it did not).
    QString error() const { return m_error; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void write();

    QString m_path;
    QString m_error;
    QTimer m_timer;
};
