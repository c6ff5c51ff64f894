// Compiled with a UTF-8 execution character set: the HTTP library's
// headers bring in <chrono>, whose literals have no code-page-932 form.
// Nothing here has a text beyond ASCII.
#include "app/cli/metrics_export.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "records/drive_table.h"
#include "report/metrics.h"

#if KESTREL_METRICS_HTTP
#include <httplib.h>
#endif

namespace kestrel {

namespace {

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

#if KESTREL_METRICS_HTTP
const char* ReasonPhrase(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 431:
      return "Request Header Fields Too Large";
    default:
      return "Error";
  }
}
#endif

}  // namespace

struct MetricsExport::State {
  std::string file;
  bool firstTick = true;
  std::uint32_t asleepDrives = 0;
  std::uint64_t ticks = 0;
  bool serving = false;
  std::atomic<std::uint64_t> requests{0};
  std::atomic<std::uint64_t> errors{0};
  std::mutex textMutex;
  std::shared_ptr<const std::string> text = std::make_shared<const std::string>();
#if KESTREL_METRICS_HTTP
  httplib::Server server;
  std::thread thread;
#endif
};

MetricsExport::MetricsExport() : state_(std::make_unique<State>()) {}

MetricsExport::~MetricsExport() { Stop(); }

bool MetricsExport::Start(const std::string& file, const std::string& host, int port,
                          std::string* error) {
  state_->file = file;
  if (port == 0) return true;
#if KESTREL_METRICS_HTTP
  State& s = *state_;
  httplib::Server& server = s.server;
  // A few threads answer; a scrape only copies a text.
  server.new_task_queue = [] { return new httplib::ThreadPool(4); };
  server.set_payload_max_length(4096);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  server.Get("/metrics", [&s](const httplib::Request&, httplib::Response& res) {
    std::shared_ptr<const std::string> text;
    {
      std::lock_guard<std::mutex> lock(s.textMutex);
      text = s.text;
    }
    res.set_content(*text, "text/plain; version=0.0.4; charset=utf-8");
  });
  const auto notAllowed = [](const httplib::Request&, httplib::Response& res) {
    res.status = 405;
    res.set_header("Allow", "GET, HEAD");
  };
  server.Post("/metrics", notAllowed);
  server.Put("/metrics", notAllowed);
  server.Patch("/metrics", notAllowed);
  server.Delete("/metrics", notAllowed);
  server.Options("/metrics", notAllowed);
  // Error answers carry a fixed text, never anything of the request.
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::to_string(res.status) + " " + ReasonPhrase(res.status) + "\n",
                    "text/plain");
  });
  server.set_logger([&s](const httplib::Request&, const httplib::Response& res) {
    s.requests.fetch_add(1, std::memory_order_relaxed);
    if (res.status >= 400) s.errors.fetch_add(1, std::memory_order_relaxed);
  });
  if (!server.bind_to_port(host, port)) {
    *error = "cannot listen on " + host + ":" + std::to_string(port);
    return false;
  }
  // The signals that end the watch stay with the main thread.
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  s.thread = std::thread([&server] { server.listen_after_bind(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  s.serving = true;
  return true;
#else
  (void)host;
  *error = "--metrics-listen is not built into this copy of kestrel-cli";
  return false;
#endif
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
  extras.httpRequests = s.requests.load(std::memory_order_relaxed);
  extras.httpErrors = s.errors.load(std::memory_order_relaxed);
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
  if (s.serving) {
    std::lock_guard<std::mutex> lock(s.textMutex);
    s.text = std::move(text);
  }
}

void MetricsExport::Stop() {
#if KESTREL_METRICS_HTTP
  if (!state_->serving) return;
  state_->serving = false;
  state_->server.stop();
  if (state_->thread.joinable()) state_->thread.join();
#endif
}

}  // namespace kestrel
