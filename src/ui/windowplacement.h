#pragma once

#include <QRect>

class QWidget;

// Where a secondary window or message box opens. It is transient for the window that
// opened it (its owner), so that a window manager keeps it above that window and hands
// the focus back there when it closes, and it opens centred over the owner and wholly
// inside the owner's screen. The owner stays a window of its own: it is never made the
// Qt parent, which would disable the secondary window together with it.
namespace WindowPlacement {

// The top-left corner and size of a window of `size` centred over `owner`, moved the
// least needed to lie within `screen` (a window larger than the screen keeps its
// top-left corner on it).
QRect centredWithin(const QRect& owner, const QSize& size, const QRect& screen);

// Makes `window` transient for `owner`'s window and, unless it is already shown,
// moves it centred over that window.
void placeOver(QWidget* window, const QWidget* owner);

// placeOver, then shows, raises and activates it.
void showOver(QWidget* window, const QWidget* owner);

// The window `window` is transient for, if it is one of the program's windows.
QWidget* ownerOf(const QWidget* window);

} // namespace WindowPlacement
