// The server (--metrics-listen) is one thread around poll(): the
// listening socket, the connections, all non-blocking, and an eventfd
// that Stop() writes to. A connection keeps the bytes of a request head
// it has not answered yet (at most kMaxRequestHead) and, while it
// answers, the answer's head and a reference to the metrics text it
// sends: a slow reader holds up nobody, and a newer rendering goes to
// the next scrape.
#include "app/cli/metrics_export.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "app/cli/http_request.h"
#include "records/drive_table.h"
#include "report/metrics.h"

namespace kestrel {

namespace {

constexpr std::size_t kMaxConnections = 512;
constexpr int kBacklog = 512;
// A connection that brings no complete request head, or takes none of
// its answer, for this long is closed.
constexpr long long kIdleMilliseconds = 10000;
// After an answer that ends the connection, what the client still sends
// is read and dropped for up to this long before the close: closing with
// unread bytes would reset the connection, and the client could lose the
// answer.
constexpr long long kDrainMilliseconds = 2000;

long long MonotonicMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

// Writes `text` to `path` through `path`.tmp and a rename, so that a
// reader sees the old file or the new one, never a part.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = temporary + ": " + std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = temporary + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(temporary.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  ::fsync(fd);
  if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

struct Connection {
  enum class Phase { kReading, kWriting, kDraining };
  int fd = -1;  // -1: closed, dropped after the round
  Phase phase = Phase::kReading;
  bool closeAfter = false;
  long long deadline = 0;
  std::string in;                           // received and not answered yet
  std::string head;                         // the answer's head (with an error's text)
  std::shared_ptr<const std::string> body;  // the metrics after a 200 to GET
  std::size_t sent = 0;                     // of head, then body
};

class Server {
 public:
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() { Stop(); }

  bool Start(const std::string& host, int port, std::string* error);
  void Stop();

  void Publish(std::shared_ptr<const std::string> text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    text_ = std::move(text);
  }
  std::uint64_t Requests() const { return requests_.load(std::memory_order_relaxed); }
  std::uint64_t Errors() const { return errors_.load(std::memory_order_relaxed); }

 private:
  void Run();
  void Accept(long long now);
  bool Receive(Connection& c);
  void Serve(Connection& c, long long now);
  bool StartAnswer(Connection& c, long long now);
  bool Send(Connection& c, long long now);
  void Drain(Connection& c);
  static void Close(Connection& c);

  bool running_ = false;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  pthread_t thread_{};
  long long acceptPausedUntil_ = 0;
  std::vector<Connection> connections_;
  std::vector<pollfd> polled_;
  char buffer_[kMaxRequestHead] = {};
  std::atomic<std::uint64_t> requests_{0};
  std::atomic<std::uint64_t> errors_{0};
  std::mutex textMutex_;
  std::shared_ptr<const std::string> text_ = std::make_shared<const std::string>();
};

bool Server::Start(const std::string& host, int port, std::string* error) {
  const std::string where =
      (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" + std::to_string(port);
  // Numeric addresses only, read with inet_pton: no name service is
  // asked, and the static copy links no resolver (getaddrinfo would bring
  // the name services along even for a numeric address).
  sockaddr_storage address{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v4;
  } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v6;
  } else {
    *error = "cannot listen on " + where + ": not a numeric IPv4 or IPv6 address";
    return false;
  }
  listenFd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  const bool bound = listenFd_ >= 0 &&
                     ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                     ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                     ::listen(listenFd_, kBacklog) == 0;
  const int bindError = errno;
  if (bound) wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (!bound || wakeFd_ < 0) {
    *error = "cannot listen on " + where + ": " + std::strerror(bound ? errno : bindError);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  connections_.reserve(kMaxConnections);
  // The signals that end the watch stay with the main thread.
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  const int started = pthread_create(
      &thread_, nullptr,
      [](void* server) -> void* {
        static_cast<Server*>(server)->Run();
        return nullptr;
      },
      this);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (started != 0) {
    *error = std::string("no thread for the metrics server: ") + std::strerror(started);
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
    return false;
  }
  running_ = true;
  return true;
}

void Server::Stop() {
  if (!running_) return;
  running_ = false;
  const std::uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) < 0) std::perror("kestrel-cli: metrics server");
  pthread_join(thread_, nullptr);
  ::close(wakeFd_);
  ::close(listenFd_);
  wakeFd_ = listenFd_ = -1;
}

void Server::Run() {
  for (;;) {
    long long now = MonotonicMilliseconds();
    // Below the connection limit the listener is polled; at it, new
    // clients wait in the backlog until a connection closes.
    const bool listening = connections_.size() < kMaxConnections && now >= acceptPausedUntil_;
    long long wake = listening ? -1 : acceptPausedUntil_;
    polled_.clear();
    polled_.push_back({wakeFd_, POLLIN, 0});
    polled_.push_back({listening ? listenFd_ : -1, POLLIN, 0});
    for (const Connection& c : connections_) {
      const short events = c.phase == Connection::Phase::kWriting ? POLLOUT : POLLIN;
      polled_.push_back({c.fd, events, 0});
      if (wake < 0 || c.deadline < wake) wake = c.deadline;
    }
    const int timeout = wake < 0 ? -1 : static_cast<int>(std::clamp(wake - now, 0LL, 60000LL));
    if (::poll(polled_.data(), polled_.size(), timeout) < 0 && !WouldBlock()) {
      std::perror("kestrel-cli: metrics server");
      break;
    }
    if (polled_[0].revents != 0) break;  // Stop()
    now = MonotonicMilliseconds();
    for (std::size_t i = 0; i < connections_.size(); ++i) {
      Connection& c = connections_[i];
      if (c.fd >= 0 && polled_[i + 2].revents != 0) {
        if (c.phase == Connection::Phase::kDraining) {
          Drain(c);
        } else if (c.phase == Connection::Phase::kWriting || Receive(c)) {
          Serve(c, now);
        }
      }
      if (c.fd >= 0 && now >= c.deadline) Close(c);
    }
    std::erase_if(connections_, [](const Connection& c) { return c.fd < 0; });
    if ((polled_[1].revents & POLLIN) != 0) Accept(now);
  }
  for (Connection& c : connections_) Close(c);
  connections_.clear();
}

void Server::Accept(long long now) {
  while (connections_.size() < kMaxConnections) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == ECONNABORTED || errno == EINTR) continue;
      // Out of descriptors or memory: try again in a while rather than
      // wake at once for the same client.
      if (!WouldBlock()) acceptPausedUntil_ = now + 1000;
      return;
    }
    // An answer goes out in one write; it need not wait for an
    // acknowledgement of the one before.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Connection& c = connections_.emplace_back();
    c.fd = fd;
    c.deadline = now + kIdleMilliseconds;
  }
}

// Appends what arrived to the unanswered bytes; false when nothing did
// (or the client went: the connection is closed).
bool Server::Receive(Connection& c) {
  const ssize_t n = ::recv(c.fd, buffer_, kMaxRequestHead - c.in.size(), 0);
  if (n < 0 && WouldBlock()) return false;
  if (n <= 0) {
    Close(c);
    return false;
  }
  c.in.append(buffer_, static_cast<std::size_t>(n));
  return true;
}

// Answers the requests received, one after another, while the socket
// takes the answers. Arrival time does not count: only a complete head
// or a part of an answer taken moves the deadline, so a client sending a
// byte at a time is closed all the same.
void Server::Serve(Connection& c, long long now) {
  while (c.fd >= 0) {
    if (c.phase == Connection::Phase::kReading && !StartAnswer(c, now)) return;
    if (c.phase != Connection::Phase::kWriting || !Send(c, now)) return;
  }
}

// Answers the first request in `in` when its head is complete (or can
// no longer be); false when it is not yet.
bool Server::StartAnswer(Connection& c, long long now) {
  HttpRequest request;
  const HeadStatus head = ParseRequestHead(c.in, &request);
  if (head == HeadStatus::kIncomplete) return false;
  const HttpAnswer answer = ChooseAnswer(head, request);
  if (answer.status == 200) {
    std::lock_guard<std::mutex> lock(textMutex_);
    c.body = text_;
  }
  c.head = ComposeAnswerHead(answer, c.body ? c.body->size() : 0, std::time(nullptr));
  if (answer.headOnly) c.body.reset();
  requests_.fetch_add(1, std::memory_order_relaxed);
  if (answer.status >= 400) errors_.fetch_add(1, std::memory_order_relaxed);
  c.in.erase(0, head == HeadStatus::kComplete ? request.headLength : c.in.size());
  c.closeAfter = answer.close;
  c.sent = 0;
  c.phase = Connection::Phase::kWriting;
  c.deadline = now + kIdleMilliseconds;
  return true;
}

// Sends what the socket takes of the answer; true when it is all out
// (the connection then reads the next request or drains).
bool Server::Send(Connection& c, long long now) {
  const std::size_t bodySize = c.body ? c.body->size() : 0;
  while (c.sent < c.head.size() + bodySize) {
    iovec parts[2];
    int count = 0;
    if (c.sent < c.head.size()) {
      parts[count++] = {c.head.data() + c.sent, c.head.size() - c.sent};
    }
    const std::size_t bodySent = c.sent > c.head.size() ? c.sent - c.head.size() : 0;
    if (bodySent < bodySize) {
      parts[count++] = {const_cast<char*>(c.body->data()) + bodySent, bodySize - bodySent};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    const ssize_t n = ::sendmsg(c.fd, &message, MSG_NOSIGNAL);
    if (n < 0 && WouldBlock()) return false;
    if (n <= 0) {
      Close(c);
      return false;
    }
    c.sent += static_cast<std::size_t>(n);
    c.deadline = now + kIdleMilliseconds;
  }
  c.head.clear();
  c.body.reset();
  if (c.closeAfter) {
    ::shutdown(c.fd, SHUT_WR);
    c.in.clear();
    c.phase = Connection::Phase::kDraining;
    c.deadline = now + kDrainMilliseconds;
  } else {
    c.phase = Connection::Phase::kReading;
  }
  return true;
}

void Server::Drain(Connection& c) {
  const ssize_t n = ::recv(c.fd, buffer_, sizeof buffer_, 0);
  if (n == 0 || (n < 0 && !WouldBlock())) Close(c);
}

void Server::Close(Connection& c) {
  ::close(c.fd);
  c.fd = -1;
  c.in.clear();
  c.head.clear();
  c.body.reset();
}

}  // namespace

struct MetricsExport::State {
  std::string file;
  bool firstTick = true;
  std::uint32_t asleepDrives = 0;
  std::uint64_t ticks = 0;
  bool serving = false;
  Server server;
};

MetricsExport::MetricsExport() : state_(std::make_unique<State>()) {}

MetricsExport::~MetricsExport() { Stop(); }

bool MetricsExport::Start(const std::string& file, const std::string& host, int port,
                          std::string* error) {
  state_->file = file;
  if (port == 0) return true;
  state_->serving = state_->server.Start(host, port, error);
  return state_->serving;
}

void MetricsExport::AfterTick(bool readDrive, int trayState, std::uint32_t asleepDrives) {
  State& s = *state_;
  ++s.ticks;
  const bool writeFile =
      !s.file.empty() && (readDrive || s.firstTick || asleepDrives != s.asleepDrives);
  s.firstTick = false;
  s.asleepDrives = asleepDrives;
  if (!writeFile && !s.serving) return;
  MetricsExtras extras;
  extras.trayState = trayState;
  extras.asleepDrives = asleepDrives;
  extras.monitorTicks = s.ticks;
  extras.withHttp = s.serving;
  extras.httpRequests = s.server.Requests();
  extras.httpErrors = s.server.Errors();
  auto text = std::make_shared<std::string>();
  DriveTable* table = LockDriveTable();
  if (table == nullptr) return;
  RenderMetrics(table->records, extras, text.get());
  UnlockDriveTable();
  if (writeFile) {
    std::string error;
    if (!WriteFileAtomically(s.file, *text, &error)) {
      std::fprintf(stderr, "kestrel-cli: metrics file not written: %s\n", error.c_str());
    }
  }
  if (s.serving) s.server.Publish(std::move(text));
}

void MetricsExport::Stop() {
  if (!state_->serving) return;
  state_->serving = false;
  state_->server.Stop();
}

}  // namespace kestrel
