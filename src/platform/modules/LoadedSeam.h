// A seam implementation that lives in a module beside the program, loaded the first time it is used:
// libraries only one tool needs (text recognition, the sound theme, the keyring) are then never mapped
// into a program that does not use that tool.
#pragma once

#include <QString>

#include <memory>
#include <mutex>

namespace LoadedModule {

// The path of `fileName` in the program's own folder.
QString besideProgram(const char* fileName);

// Loads the module at `path` (never unloaded: the libraries it brings keep threads and registrations of
// their own) and finds `symbol` in it; null with the reason in `error` when either fails.
void* resolve(const QString& path, const char* symbol, QString* error);

} // namespace LoadedModule

// The one implementation of `Seam` that the module at `path` makes through its exported `symbol`, a
// function `Seam* (*)()`. Made once, on the first `get()` from any thread; null when the module cannot
// be loaded, which is logged once.
template <class Seam> class LoadedSeam {
public:
    LoadedSeam(QString path, const char* symbol)
        : m_path(std::move(path))
        , m_symbol(symbol) {}

    Seam* get() const {
        std::call_once(m_once, [this] {
            QString error;
            using Make = Seam* (*)();
            if (auto make = reinterpret_cast<Make>(LoadedModule::resolve(m_path, m_symbol, &error)))
                m_made.reset(make());
            m_error = error;
        });
        return m_made.get();
    }

    // Why `get()` gave nothing; empty before the first `get()` and after a successful one.
    QString error() const {
        get();
        return m_error;
    }

private:
    const QString m_path;
    const char* const m_symbol;
    mutable std::once_flag m_once;
    mutable std::unique_ptr<Seam> m_made;
    mutable QString m_error;
};
