// Why a follow failed, with the text the News and X tabs show for it.
#pragma once

#include <QCoreApplication>
#include <QString>

struct NewsError {
    enum Kind {
        Http,                // the server answered with a status outside 2xx; `status` holds it
        SemFeed,             // no feed could be found or read
        Invalido,            // not a site address
        JaCadastrado,        // already followed
        PerfilInvalido,      // not an X handle
        PerfilNaoEncontrado, // the profile page holds no posts we can read
        XOcupado,            // X answered 429
        Transport,           // no HTTP answer at all (refused, timed out, too large)
    };
    Kind kind = Transport;
    int status = 0;
    QString detail; // for the log only

    NewsError(Kind k = Transport, int httpStatus = 0, QString why = {})
        : kind(k)
        , status(httpStatus)
        , detail(std::move(why)) {}

    QString mensagem() const {
        switch (kind) {
        case Http:
            //: %lld is the HTTP status number.
            return QCoreApplication::translate("NewsError", "The site answered with an error (%lld).")
                .replace(QLatin1String("%lld"), QString::number(status));
        case SemFeed:
            return QCoreApplication::translate("NewsError",
                                               "That site doesn't publish a feed we can follow.");
        case Invalido:
            return QCoreApplication::translate("NewsError", "That doesn't look like a site address.");
        case JaCadastrado:
            return QCoreApplication::translate("NewsError", "That site is already on your list.");
        case PerfilInvalido:
            return QCoreApplication::translate("NewsError", "Type an X handle, like @nasa.");
        case PerfilNaoEncontrado:
            return QCoreApplication::translate("NewsError", "Couldn't find that profile — check the handle.");
        case XOcupado:
            return QCoreApplication::translate("NewsError",
                                               "X is rate-limiting us right now. Try again in a minute.");
        case Transport:
            break;
        }
        return QCoreApplication::translate("NewsError", "Couldn't reach that site.");
    }
};
