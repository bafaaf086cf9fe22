// The command palette laid over its host (the dashboard), and its entrance and exit. The palette is a
// child of the host, filling it; this widget, also the host's child, shows only during a fade.
#pragma once

#include "services/CommandPalette.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class PaletteView;
class QVariantAnimation;

class PaletteOverlay final : public QWidget {
    Q_OBJECT
public:
    // The palette's inputs as PaletteView takes them; `host` becomes the parent of both widgets.
    PaletteOverlay(std::function<CommandPalette::State()> state, CommandPalette::Operations operations,
                   std::function<void()> close, QWidget* host);

    PaletteView* palette() const { return m_palette; }

    // Opens (afresh, with an empty query) or closes the palette; fades when animations are on and
    // the host is on screen. A call during a fade turns it around from where it stands.
    void setOpen(bool open);
    // Puts the palette and a fade in progress back above the host's other children.
    void bringToFront();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setProgress(qreal progress);

    PaletteView* m_palette = nullptr;
    QPointer<QVariantAnimation> m_fade;
    // What lies beneath, and a picture of the palette that fades while it grows from, or shrinks to,
    // 0.96 of its size about its centre. Pictures rather than an effect on the live palette, whose
    // scroll area X11 then leaves unpainted.
    QPixmap m_under;
    QPixmap m_picture;
    qreal m_progress = 0.0;
};
