// The small borderless symbol button of settings rows (move up and down, edit, delete).
#pragma once

#include <QToolButton>

class SettingsMoveButton : public QToolButton {
    Q_OBJECT
public:
    static constexpr int kSide = 20; // the button is square

    // `help` is the tooltip, shown as given.
    SettingsMoveButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintIcon();

    QString m_symbol;
};
