#pragma once

#include <QByteArray>
#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

class QSslSocket;

// A small HTTPS server for the firmware retrieval: serves fixed answers by
// path, files from a folder, or stalls. One request per connection.
class FirmwareServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit FirmwareServer(QObject* parent = nullptr);

    // PEM files of the server's certificate chain (leaf first) and key.
    bool set_certificate_files(const QString& cert_path, const QString& key_path, QString* error = nullptr);

    // Answers GET `path` with `status` and exactly `body` (zero bytes included).
    void set_route(const QString& path, int status, const QByteArray& body,
                   const QByteArray& content_type = "text/plain");
    void remove_route(const QString& path);
    // Files of `dir` are served under "/firmware/<name>" when no route matches.
    void set_file_root(const QString& dir);
    // Accepts connections and requests but never answers.
    void set_stall(bool stall);
    // Sends each answer a byte every `interval_ms` (0: all at once).
    void set_trickle(int interval_ms);
    // The next `count` answers are cut mid-body by bytes that are not TLS, as a
    // faulty middlebox would: the client sees a broken stream, not an end.
    void set_corrupt_answers(int count) { corrupt_answers_ = count; }

    bool listen_local(quint16 port = 0);
    QString base_url() const; // "https://127.0.0.1:PORT"
    int request_count() const { return requests_; }
    QByteArray last_path() const { return last_path_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Route
    {
        int status = 200;
        QByteArray body;
        QByteArray content_type;
    };

    void handle(QSslSocket* socket);
    void answer(QSslSocket* socket, const Route& route);
    void corrupt(QSslSocket* socket, const QByteArray& part);

    QList<QSslCertificate> chain_;
    QSslKey key_;
    QHash<QString, Route> routes_;
    QString root_;
    bool stall_ = false;
    int trickle_ms_ = 0;
    int corrupt_answers_ = 0;
    int requests_ = 0;
    QByteArray last_path_;
};
