// What hostile servers cost the fetch service: time and resident memory for a 1 GB
// compression bomb and an endless body, and how many of 1000 back-to-back posts survive a
// server that closes every connection after its reply. Prints its figures.
// Run: build/bin/bench_fetch
#include "web/fetch.h"
#include "web/inflate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

long procKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Compresses `total` zero bytes a megabyte at a time, so building the bomb stays small too.
QByteArray zeroBomb(qint64 total, bool gzip)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, gzip ? 15 + 16 : 15, 9, Z_DEFAULT_STRATEGY);
    QByteArray zeros(1 << 20, '\0'), out;
    char buf[1 << 16];
    for (qint64 done = 0; done < total; done += zeros.size()) {
        zs.next_in = reinterpret_cast<Bytef *>(zeros.data());
        zs.avail_in = uInt(zeros.size());
        const int flush = done + zeros.size() >= total ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = reinterpret_cast<Bytef *>(buf);
            zs.avail_out = sizeof buf;
            deflate(&zs, flush);
            out.append(buf, qsizetype(sizeof buf - zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return out;
}

bool writeAll(int fd, const char *p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// The hostile server, a plain process of its own so its memory is not counted with ours.
[[noreturn]] void serve(int listener, const QByteArray &gz, const QByteArray &zl)
{
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        QByteArray req;
        char buf[4096];
        for (;;) {   // one request per connection: head plus a short body
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            req.append(buf, n);
            const qsizetype end = req.indexOf("\r\n\r\n");
            if (end >= 0 && (!req.startsWith("POST") || req.size() >= end + 4 + 3))
                break;
        }
        const QByteArray path = req.mid(req.indexOf(' ') + 1).split(' ').first();
        if (path == "/bomb-gzip" || path == "/bomb-deflate") {
            const QByteArray &b = path == "/bomb-gzip" ? gz : zl;
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: "
                                    + QByteArray(path == "/bomb-gzip" ? "gzip" : "deflate")
                                    + "\r\nContent-Length: " + QByteArray::number(b.size()) + "\r\n\r\n";
            writeAll(fd, head.constData(), size_t(head.size())) && writeAll(fd, b.constData(), size_t(b.size()));
        } else if (path == "/endless") {
            const char head[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
            const QByteArray chunk(1 << 16, 'x');
            if (writeAll(fd, head, sizeof head - 1))
                while (writeAll(fd, chunk.constData(), size_t(chunk.size()))) {
                }
        } else {
            const char ok[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2\r\n\r\nOK";
            writeAll(fd, ok, sizeof ok - 1);
        }
        ::close(fd);
    }
}

QString run(const std::function<void(QObject *, FetchDone)> &start)
{
    QEventLoop loop;
    QObject asker;
    QString result;
    start(&asker, [&](const FetchResult &r) {
        result = r.ok() ? r.text : QStringLiteral("[failed: %1]").arg(r.logReason());
        loop.quit();
    });
    loop.exec();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 || ::listen(listener, 64) != 0)
        return 1;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
    // Built before the server starts, so the first case does not time the building.
    const QByteArray gz = zeroBomb(qint64(1) << 30, true), zl = zeroBomb(qint64(1) << 30, false);
    const pid_t server = fork();
    if (server == 0)
        serve(listener, gz, zl);
    ::close(listener);

    QCoreApplication app(argc, argv);
    WebService web;
    qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(ntohs(addr.sin_port)));
    std::printf("fetch service against hostile servers (cap %lld MB received or unpacked)\n",
                static_cast<long long>(WebService::kMaxBodyBytes >> 20));
    std::printf("%-34s %10s %12s %14s\n", "case", "time ms", "answer chars", "peak RSS MB");
    struct Case {
        const char *name;
        std::function<void(QObject *, FetchDone)> start;
    };
    const QString h = QStringLiteral("bench.test");
    const Case cases[] = {
        {"1 GB gzip bomb, httpget", [&](QObject *c, FetchDone d) { web.httpget("http://" + h + "/bomb-gzip", h, {}, "gb2312", c, d); }},
        {"1 GB gzip bomb, gethtml", [&](QObject *c, FetchDone d) { web.gethtml("http://" + h + "/bomb-gzip", "gb2312", c, d); }},
        {"1 GB deflate bomb, httppost", [&](QObject *c, FetchDone d) { web.httppost("http://" + h + "/bomb-deflate", h, {}, "a=1", "gb2312", c, d); }},
        {"endless body, httpget", [&](QObject *c, FetchDone d) { web.httpget("http://" + h + "/endless", h, {}, "gb2312", c, d); }},
        {"endless body, gethtml", [&](QObject *c, FetchDone d) { web.gethtml("http://" + h + "/endless", "gb2312", c, d); }},
        {"endless body, httppost", [&](QObject *c, FetchDone d) { web.httppost("http://" + h + "/endless", h, {}, "a=1", "gb2312", c, d); }},
    };
    for (const Case &c : cases) {
        QElapsedTimer t;
        t.start();
        const QString answer = run(c.start);
        std::printf("%-34s %10lld %12lld %14.1f\n", c.name, static_cast<long long>(t.elapsed()),
                    static_cast<long long>(answer.size()), procKb("VmHWM:") / 1024.0);
    }
    int failed = 0;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 1000; ++i)
        if (run([&](QObject *c, FetchDone d) { web.httppost("http://" + h + "/close", h, {}, "a=1", "gb2312", c, d); })
            != QLatin1String("OK"))
            ++failed;
    std::printf("1000 posts, server closes after each reply: %d failed (%lld ms)\n", failed,
                static_cast<long long>(t.elapsed()));
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    return 0;
}
