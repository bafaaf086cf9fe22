// The paste keys each kind of window gets, told from the class its program gives it: the classes real
// terminals set (as xprop shows them), other programs, and windows that say nothing.
#include "platform/PasteKeys.h"

#include <QtTest>

Q_DECLARE_METATYPE(PasteKeys)

class tst_PasteKeys : public QObject {
    Q_OBJECT
private slots:
    void keysFollowTheWindowClass_data() {
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("className");
        QTest::addColumn<PasteKeys>("keys");
        // Shift+Insert pastes the primary selection; Control+Shift+V is bound to nothing.
        QTest::newRow("xterm") << "xterm"
                               << "XTerm" << PasteKeys::shiftInsert;
        QTest::newRow("xterm -name") << "scratch"
                                     << "XTerm" << PasteKeys::shiftInsert;
        QTest::newRow("uxterm") << "uxterm"
                                << "UXTerm" << PasteKeys::shiftInsert;
        QTest::newRow("urxvt") << "urxvt"
                               << "URxvt" << PasteKeys::shiftInsert;
        QTest::newRow("rxvt") << "rxvt"
                              << "Rxvt" << PasteKeys::shiftInsert;
        // Control+Shift+V pastes the clipboard.
        QTest::newRow("gnome-terminal") << "gnome-terminal-server"
                                        << "Gnome-terminal" << PasteKeys::controlShiftV;
        QTest::newRow("konsole") << "konsole"
                                 << "konsole" << PasteKeys::controlShiftV;
        QTest::newRow("xfce4-terminal") << "xfce4-terminal"
                                        << "Xfce4-terminal" << PasteKeys::controlShiftV;
        QTest::newRow("tilix") << "tilix"
                               << "Tilix" << PasteKeys::controlShiftV;
        QTest::newRow("terminator") << "terminator"
                                    << "Terminator" << PasteKeys::controlShiftV;
        QTest::newRow("kitty") << "kitty"
                               << "kitty" << PasteKeys::controlShiftV;
        QTest::newRow("alacritty") << "Alacritty"
                                   << "Alacritty" << PasteKeys::controlShiftV;
        QTest::newRow("wezterm") << "org.wezfurlong.wezterm"
                                 << "org.wezfurlong.wezterm" << PasteKeys::controlShiftV;
        QTest::newRow("st") << "st"
                            << "st-256color" << PasteKeys::controlShiftV;
        QTest::newRow("foot") << "foot"
                              << "foot" << PasteKeys::controlShiftV;
        QTest::newRow("a terminal by its name") << "lxterminal"
                                                << "Lxterminal" << PasteKeys::controlShiftV;
        QTest::newRow("an unlisted terminal by its name") << "cosmic"
                                                          << "Some-Terminal-App" << PasteKeys::controlShiftV;
        // Everything else keeps Control+V.
        QTest::newRow("Tk") << "wish"
                            << "Tk" << PasteKeys::controlV;
        QTest::newRow("Firefox") << "Navigator"
                                 << "firefox-esr" << PasteKeys::controlV;
        QTest::newRow("an editor") << "gedit"
                                   << "Gedit" << PasteKeys::controlV;
        QTest::newRow("a word that only contains a terminal's name") << "stats"
                                                                     << "Stats" << PasteKeys::controlV;
        QTest::newRow("no class") << ""
                                  << "" << PasteKeys::controlV;
    }
    void keysFollowTheWindowClass() {
        QFETCH(QString, instance);
        QFETCH(QString, className);
        QFETCH(PasteKeys, keys);
        QCOMPARE(PasteKeysFor::window(instance, className), keys);
    }
};

QTEST_APPLESS_MAIN(tst_PasteKeys)
#include "tst_PasteKeys.moc"
