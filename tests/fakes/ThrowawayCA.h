// A certificate authority made at test time with the openssl tool, trusted by this process only, and a
// server certificate for both loopback hosts the update tests use (127.0.0.1 and 127.0.0.2).
#pragma once

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

class ThrowawayCA {
public:
    // Makes the files and adds the authority to the default TLS configuration; false on any failure.
    bool make() {
        QFile ext(m_dir.filePath("san.ext"));
        if (!m_dir.isValid() || !ext.open(QIODevice::WriteOnly))
            return false;
        ext.write("subjectAltName=IP:127.0.0.1,IP:127.0.0.2,DNS:localhost\nbasicConstraints=CA:FALSE\n");
        ext.close();
        const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        if (!openssl(QStringList{"req", "-x509"} + ec +
                     QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                                 "/CN=Quillbay test CA"}) ||
            !openssl(QStringList{"req"} + ec +
                     QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"}) ||
            !openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                      "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.ext"}))
            return false;
        const auto ca = QSslCertificate::fromPath(m_dir.filePath("ca.pem"));
        if (ca.size() != 1)
            return false;
        QSslConfiguration client = QSslConfiguration::defaultConfiguration();
        client.addCaCertificate(ca[0]);
        QSslConfiguration::setDefaultConfiguration(client);
        return true;
    }
    QString caFile() const { return m_dir.filePath("ca.pem"); }
    QString certFile() const { return m_dir.filePath("server.pem"); }
    QString keyFile() const { return m_dir.filePath("server.key"); }

private:
    bool openssl(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start("openssl", args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QTemporaryDir m_dir;
};
