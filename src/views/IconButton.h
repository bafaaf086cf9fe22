// A bezel-less 22 × 22 button showing one symbol, with a tooltip and an action.
#pragma once

#include <QAbstractButton>
#include <QColor>

#include <functional>

class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    IconButton(const QString& symbol, const QString& help, QColor tint, std::function<void()> action,
               QWidget* parent = nullptr);
    explicit IconButton(QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    QString help() const { return toolTip(); }
    void setHelp(const QString& help) { setToolTip(help); }
    QColor tint() const { return m_tint; }
    void setTint(QColor tint);
    void setAction(std::function<void()> action) { m_action = std::move(action); }

    QSize sizeHint() const override { return QSize(22, 22); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void reloadIcon();

    QString m_symbol;
    QColor m_tint = Qt::white;
    std::function<void()> m_action;
};
