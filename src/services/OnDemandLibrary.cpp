#include "services/OnDemandLibrary.h"

#include <QtDebug>

OnDemandLibrary::OnDemandLibrary(const QString& name, int version)
    : m_library(name, version) {
    m_library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!m_library.load())
        m_error = m_library.errorString();
}

QString OnDemandLibrary::finish(const char* what) const {
    if (!m_error.isEmpty())
        qWarning().noquote()
            << QStringLiteral("[Quillbay] %1 unavailable: %2").arg(QLatin1String(what), m_error);
    return m_error;
}
