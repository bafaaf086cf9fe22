// The Claude card from the provider's usage endpoint, asked with Claude Code's own sign-in token.
#pragma once

#include "model/AIProviderUsage.h"
#include "services/ClaudeFolders.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <QList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class SecretStore;

class ClaudeUsageReader {
public:
    // The provider's API host; another base is for tests only, and must be HTTPS all the same.
    static QUrl defaultBase();

    struct Credential {
        QString accessToken;
        QString plan; // capitalised; empty when unknown
        double expiresAtMs = 0;
    };

    // The keyring item Claude Code's credential is kept under where it uses the keyring.
    static constexpr const char* kSecretService = "Claude Code-credentials";
    // Longest wait for the keyring's answer.
    static constexpr int kSecretTimeoutMs = 8000;

    // The credentials file is looked for in each of Claude Code's `folders`; `secrets` is asked only when
    // there is none, and must outlive the reader; without it there is no keyring.
    explicit ClaudeUsageReader(ClaudeFolders folders, QUrl base = defaultBase(),
                               const SecretStore* secrets = nullptr);

    // Seconds the request may stall and seconds the reader waits for the whole answer.
    void setTimeouts(int transferMs, int waitMs) {
        m_transferMs = transferMs;
        m_waitMs = waitMs;
    }

    // Nothing when there is no usable credential, the token has expired, the request fails or the answer
    // holds no known window. Blocks the calling thread (not the main one) for at most the wait; ends early
    // when `stop` turns true.
    std::optional<AIProviderUsage> read(const QDateTime& now, const std::atomic_bool& stop) const;

    // The usable credential: of the credentials files, the one whose token lasts longest; the keyring's
    // item only when there is no such file at all but there is one of Claude Code's folders. A keyring
    // that gave nothing is asked again only once something in those folders has changed (Claude Code
    // signing in changes them), so that an idle refresh costs no trip over the session bus.
    std::optional<Credential> credential(const QDateTime& now, const std::atomic_bool& stop) const;
    // Claude Code's credential from its JSON text, when it has a token that is still valid at `now`.
    static std::optional<Credential> credentialFromJson(const QByteArray& json, const QDateTime& now);
    // The card of a usage reply; nothing when no known window is usable.
    static std::optional<AIProviderUsage> cardFromReply(const QJsonObject& reply, const QString& plan,
                                                        const QDateTime& now);

private:
    std::optional<QJsonObject> fetch(const QString& token, const std::atomic_bool& stop) const;

    // The modification times of Claude Code's folders when the keyring last gave nothing; shared by the
    // copies of one reader.
    struct KeyringMiss {
        std::mutex mutex;
        std::optional<QList<qint64>> folderTimes;
    };

    ClaudeFolders m_folders;
    QUrl m_base;
    std::shared_ptr<const SecretStore> m_noSecrets; // stands in when no `secrets` is given
    const SecretStore* m_secrets;
    std::shared_ptr<KeyringMiss> m_keyringMiss = std::make_shared<KeyringMiss>();
    int m_transferMs = 10000;
    int m_waitMs = 12000;
};
