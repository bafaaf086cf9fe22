// The interface language: the user's choice, stored for the next launch, the catalogue installed at
// start, and the relaunch that applies a new choice.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class Defaults;
class QCoreApplication;

class AppLanguage {
public:
    enum Case : quint8 { system, english, portuguese };
    static constexpr int count = 3;

    constexpr AppLanguage() = default;
    constexpr AppLanguage(Case c)
        : m_case(c) {}

    constexpr Case value() const { return m_case; }
    // "system", "en" or "pt-BR"; also the identity.
    QString rawValue() const;
    QString id() const { return rawValue(); }

    static std::optional<AppLanguage> fromRawValue(const QString& raw);
    static const std::array<AppLanguage, count>& allCases();

    friend constexpr bool operator==(AppLanguage, AppLanguage) = default;

private:
    Case m_case = system;
};

class LanguageService : public QObject {
    Q_OBJECT
    Q_PROPERTY(AppLanguage selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(bool precisaReiniciar READ precisaReiniciar NOTIFY precisaReiniciarChanged)

public:
    // What the relaunch starts and stops; the defaults are this program and this process.
    struct Relaunch {
        QString shell = QStringLiteral("/bin/sh");
        QString targetPath;         // empty: this program's executable
        qint64 pid = 0;             // 0: this process
        std::function<void()> quit; // empty: QCoreApplication::quit
    };

    // Reads the stored choice; writes nothing.
    explicit LanguageService(Defaults& defaults, QObject* parent = nullptr);

    AppLanguage selected() const { return m_selected; }
    // Stores the choice (on every assignment) for the next launch.
    void setSelected(AppLanguage language);
    // The selected language differs from the one this process started with.
    bool precisaReiniciar() const { return m_precisaReiniciar; }
    AppLanguage inicial() const { return m_inicial; }

    // Writes the pending settings, starts a detached helper that waits for this process to end, then
    // starts the program again, and quits. When the helper cannot be started the program keeps running, so
    // the user can retry.
    void reiniciar();
    void setRelaunch(Relaunch relaunch) { m_relaunch = std::move(relaunch); }
    // Run as `sh -c <script> sh <pid> <program>`: the positional arguments need no quoting.
    static QString relaunchScript();

    // The catalogue suffix ("en" or "pt_BR") for a stored "appLanguage" value; "system" (and any
    // unknown value) takes the first of `uiLanguages` that is shipped, else English.
    static QString catalogueFor(const QString& stored, const QStringList& uiLanguages);
    // Loads ":/i18n/quillbay_<suffix>.qm" for the stored choice and installs it on `app`, with Qt's own
    // catalogue for that language when the system has it. A missing catalogue is not an error (the
    // source texts show). Returns whether the program's catalogue was installed.
    static bool installTranslator(const Defaults& defaults, QCoreApplication* app);

signals:
    void selectedChanged();
    void precisaReiniciarChanged();

private:
    void aplicar();

    Defaults& m_defaults;
    AppLanguage m_selected;
    AppLanguage m_inicial;
    bool m_precisaReiniciar = false;
    Relaunch m_relaunch;
};
