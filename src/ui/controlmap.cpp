#include "controlmap.h"

#include "core/wholefile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace {

// At most one write in this many milliseconds: a window that opens shows, moves and
// resizes dozens of widgets in a row.
constexpr int WriteIntervalMs = 50;

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1String("\r\n"), QLatin1String("\\n"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\n"));
}

QString textOf(const QWidget* w)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    return {};
}

QString line(const char* kind, const QWidget* window, const QString& name, const QRect& place,
    bool enabled, const QString& text)
{
    return QStringLiteral("%1\t%2\t%3\t%4 %5 %6 %7\t%8\t%9\n")
        .arg(QLatin1String(kind))
        .arg(window->internalWinId())
        .arg(name)
        .arg(place.x())
        .arg(place.y())
        .arg(place.width())
        .arg(place.height())
        .arg(enabled ? 1 : 0)
        .arg(oneLine(text));
}

} // namespace

ControlMap::ControlMap(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(WriteIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ControlMap::write);
    qApp->installEventFilter(this);
    write();
}

QString ControlMap::text(const QList<QWidget*>& windows)
{
    QString out;
    for (const QWidget* window : windows) {
        if (!window->isWindow() || !window->isVisible())
            continue;
        out += line("window", window, window->objectName(), window->geometry(), window->isEnabled(),
            window->windowTitle());
        for (const QWidget* w : window->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->window() != window || !w->isVisible())
                continue;
            const QRect place(w->mapTo(window, QPoint(0, 0)), w->size());
            out += line("control", window, w->objectName(), place, w->isEnabled(), textOf(w));
        }
    }
    return out;
}

bool ControlMap::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::EnabledChange:
    case QEvent::WindowTitleChange:
    case QEvent::WinIdChange:
        if (watched->isWidgetType() && !m_timer.isActive())
            m_timer.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void ControlMap::write()
{
    QString why;
    m_error.clear();
    if (!writeFileAtomically(m_path, text(QApplication::topLevelWidgets()).toUtf8(), &why))
        m_error = why;
}
