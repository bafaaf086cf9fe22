// A system library opened when a feature first needs it rather than linked into the program, so an idle
// program does not map it (nor what it brings): the library and the functions wanted from it. Once
// opened, it stays open for the life of the process.
#pragma once

#include <QLibrary>
#include <QString>

class OnDemandLibrary {
public:
    // `name` without "lib" and ".so", `version` its major (the soname's number).
    OnDemandLibrary(const QString& name, int version);

    // Sets `into` to the function `symbol`, or to null, keeping the first failure's reason.
    template <class F> void find(const char* symbol, F& into) {
        into = m_library.isLoaded() ? reinterpret_cast<F>(m_library.resolve(symbol)) : nullptr;
        if (!into && m_error.isEmpty())
            m_error = QStringLiteral("%1 has no %2").arg(m_library.fileName(), QLatin1String(symbol));
    }

    // Empty once it is open and every function asked for was found; otherwise why not, which finish()
    // also logs, naming the library as `what`.
    QString error() const { return m_error; }
    QString finish(const char* what) const;

private:
    QLibrary m_library;
    QString m_error;
};
