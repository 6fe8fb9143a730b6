// The socket service over BSD sockets: open-server, accept, connect, send and receive,
// readiness polls, host lookups and the asynchronous mode of connect.
// Hazards: every blocking call retries on EINTR (the console's signal handlers interrupt
// them); a send never raises SIGPIPE (MSG_NOSIGNAL); only handles this service opened are
// operated on, so a program's stray number can never close or write the engine's own
// descriptors (the terminal, a file stream); such a handle fails like a non-socket.
#include "lib/file_writes.h"
#include "lib/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "interp/evaluator.h"
#include "interp/message_queue.h"
#include "runtime/sandbox.h"
#include "runtime/time_limit.h"
#include "interp/state.h"

namespace tavrin {
namespace {

// Programs' polls wait at most 1 µs, which is to say not at all. On Linux any
// non-zero timeout sleeps for at least the timer slack (50 µs by default) when nothing is
// ready, which cut the relay's throughput to a third; a zero timeout returns at once.
constexpr timespec kPollTimeout = {0, 0};
constexpr int kListenBacklog = 5;

// The Winsock error numbers a notification carries, from the errno of the failure.
int32_t winsockError(int err) {
  struct Pair { int err; int32_t wsa; };
  static constexpr Pair kErrors[] = {
      {0, 0},
      {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060}, {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065},
      {ECONNRESET, 10054},   {ECONNABORTED, 10053}, {ENETDOWN, 10050}, {EADDRNOTAVAIL, 10049},
      {EADDRINUSE, 10048},   {EAFNOSUPPORT, 10047}, {ENOTCONN, 10057}, {EPIPE, 10058},
  };
  for (const Pair& p : kErrors)
    if (p.err == err) return p.wsa;
  return 10061;  // the connection did not come about
}

sockaddr_in makeAddress(int32_t family, uint32_t address, int32_t port) {
  sockaddr_in a{};
  a.sin_family = sa_family_t(uint16_t(family));  // the low 16 bits, as the record gives them
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = address;
  return a;
}

// A blocking connect that a signal does not cut short: an interrupted connect goes on in
// the kernel, so wait for it to finish and take its outcome.
int connectBlocking(int fd, const sockaddr_in& a) {
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return 0;
  if (errno != EINTR) return -1;
  pollfd p{fd, POLLOUT, 0};
  while (::poll(&p, 1, -1) < 0) {
    if (errno != EINTR) return -1;
    checkTimeLimit();
  }
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err != 0) return -1;
  return 0;
}

// The first IPv4 address of a name lookup (network order), and its official name.
bool lookUp(const std::string& name, uint32_t& address, std::string* canonical) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (canonical) hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
  address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
  if (canonical && list->ai_canonname) *canonical = list->ai_canonname;
  freeaddrinfo(list);
  return true;
}

std::string ownHostName() {
  char name[256] = {};
  if (gethostname(name, 255) != 0) name[0] = 0;
  name[255] = 0;
  return name;
}

std::string dotted(uint32_t networkOrder) {
  uint32_t a = ntohl(networkOrder);
  return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 255) + '.' + std::to_string((a >> 8) & 255) +
         '.' + std::to_string(a & 255);
}

}  // namespace

SocketService::SocketService() = default;
SocketService::~SocketService() { closeAll(); }

bool SocketService::owns(int32_t s) const { return s >= 0 && size_t(s) < m_owned.size() && m_owned[size_t(s)]; }

int SocketService::newSocket(int32_t family, int32_t type, int32_t protocol) {
  int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) return -1;
  if (size_t(fd) >= m_owned.size()) m_owned.resize(size_t(fd) + 1, 0);
  m_owned[size_t(fd)] = 1;
  return fd;
}

void SocketService::forget(int fd) {
  if (owns(fd)) m_owned[size_t(fd)] = 0;
  std::erase_if(m_async, [fd](const AsyncSocket& a) { return a.fd == fd; });
}

void SocketService::closeAll() {
  for (size_t fd = 0; fd < m_owned.size(); ++fd)
    if (m_owned[fd]) ::close(int(fd));
  m_owned.clear();
  m_async.clear();
}

void SocketService::openServer(SocketRecord& r, int32_t port) {
  int fd = newSocket(AF_INET, r.type, r.protocol);
  if (fd < 0) return;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = makeAddress(AF_INET, htonl(INADDR_ANY), port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
    ::listen(fd, kListenBacklog);
    return;
  }
  // The program never learns this handle; closing it keeps a retry loop from running
  // out of descriptors.
  ::close(fd);
  forget(fd);
}

int32_t SocketService::openServerHandle(SocketRecord& r, int32_t port) {
  int fd = newSocket(r.family, r.type, r.protocol);
  if (fd < 0) return -1;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = makeAddress(r.family, htonl(INADDR_ANY), port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    forget(fd);
    return -1;
  }
  r.handle = fd;
  ::listen(fd, kListenBacklog);
  return fd;
}

void SocketService::close(int32_t s) {
  if (!owns(s)) return;
  ::close(s);
  forget(s);
}

int32_t SocketService::readable(int32_t s1, int32_t s2) {
  if (s1 == s2) return readable(s1);  // a set holds each handle once
  if (!owns(s1) || !owns(s2)) return -1;
  pollfd p[2] = {{s1, POLLIN, 0}, {s2, POLLIN, 0}};
  int n;
  while ((n = ::ppoll(p, 2, &kPollTimeout, nullptr)) < 0)
    if (errno != EINTR) return -1;
  // A closed or reset connection counts as readable (its receive returns at once).
  return int32_t((p[0].revents & (POLLIN | POLLERR)) != 0) + int32_t((p[1].revents & (POLLIN | POLLERR)) != 0);
}

int32_t SocketService::readable(int32_t s) {
  if (!owns(s)) return -1;
  pollfd p{s, POLLIN, 0};
  while (::ppoll(&p, 1, &kPollTimeout, nullptr) < 0)
    if (errno != EINTR) return -1;
  return (p.revents & (POLLIN | POLLERR)) ? 1 : 0;
}

int32_t SocketService::accept(int32_t s) {
  if (!owns(s)) return -1;
  flushFileWrites();  // a wait for a peer
  int fd;
  while ((fd = ::accept4(s, nullptr, nullptr, SOCK_CLOEXEC)) < 0) {
    if (errno != EINTR) return -1;
    checkTimeLimit();
  }
  if (size_t(fd) >= m_owned.size()) m_owned.resize(size_t(fd) + 1, 0);
  m_owned[size_t(fd)] = 1;
  return fd;
}

int32_t SocketService::recvInto(int32_t s, int32_t n, int flags, char* into) {
  if (!owns(s) || n < 0) return -1;
  if (n > kReceiveBufferSize) n = kReceiveBufferSize;
  if (!into) into = reinterpret_cast<char*>(m_buffer.data());
  flushFileWrites();  // a wait for a peer
  ssize_t got;
  while ((got = ::recv(s, into, size_t(n), flags)) < 0) {
    if (errno != EINTR) break;
    checkTimeLimit();
  }
  if (!m_async.empty()) rearmRead(s);
  return got < 0 ? -1 : int32_t(got);
}

int32_t SocketService::sendAll(int32_t s, const char* data, size_t n) {
  if (!owns(s)) return -1;
  // A send of nothing still reports a socket that cannot send.
  if (n == 0) return ::send(s, data, 0, MSG_NOSIGNAL) < 0 ? -1 : 0;
  size_t done = 0;
  while (done < n) {
    ssize_t put = ::send(s, data + done, n - done, MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR) {
        checkTimeLimit();
        continue;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        if (AsyncSocket* a = asyncOf(s)) a->writeArmed = true;
      break;
    }
    done += size_t(put);
  }
  return done == 0 ? -1 : int32_t(done);
}

void SocketService::receive(SocketRecord& r, int32_t s, int32_t n, std::string& out) {
  // The bytes go straight into the text, without a copy through the receive buffer; of
  // that buffer only the first byte is ever read again (by ReceiveByte after a failed
  // receive), so it gets the first byte received.
  out.resize(size_t(std::clamp(n, 0, kReceiveBufferSize)));
  const int32_t got = recvInto(s, n, 0, out.data());
  r.lastCount = got;
  out.resize(got > 0 ? size_t(got) : 0);
  if (got > 0) m_buffer[0] = uint8_t(out[0]);
}

void SocketService::send(SocketRecord& r, int32_t s, std::string_view data, int32_t n) {
  if (n < 0) {
    r.lastCount = -1;
    return;
  }
  size_t count = std::min(size_t(n), data.size());
  r.lastCount = sendAll(s, data.data(), count);
}

uint32_t SocketService::resolve(std::string_view host) {
  std::string name(host.substr(0, host.find('\0')));
  in_addr_t a = inet_addr(name.c_str());
  if (a != INADDR_NONE) return a;
  uint32_t found = 0;
  if (lookUp(name, found, nullptr)) return found;
  return htonl(INADDR_LOOPBACK);
}

void SocketService::connect(SocketRecord& r, std::string_view host, int32_t port) {
  sockaddr_in a = makeAddress(AF_INET, resolve(host), port);
  int fd = newSocket(AF_INET, r.type, r.protocol);
  r.handle = fd;
  if (fd >= 0) connectBlocking(fd, a);
}

int32_t SocketService::connectHandle(SocketRecord& r, std::string_view host, int32_t port) {
  sockaddr_in a = makeAddress(r.family, resolve(host), port);
  int fd = newSocket(r.family, r.type, r.protocol);
  r.handle = fd;
  if (fd < 0) return -1;
  if (r.notifyMessage > kAsyncMessageFloor && r.notifyForm >= 0) {
    // Asynchronous mode makes the socket non-blocking: the connect goes on in the
    // background, its outcome arrives as the FD_CONNECT notification, and the program is
    // told -1, the would-block error's result.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    AsyncSocket entry{fd, r.notifyForm, uint32_t(r.notifyMessage), r.notifyEvents};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) entry.connectError = 0;
    else if (errno != EINPROGRESS && errno != EINTR) entry.connectError = errno;  // refused at once
    m_async.push_back(entry);
    return -1;
  }
  return connectBlocking(fd, a) == 0 ? fd : -1;
}

void SocketService::receiveLine(int32_t s, std::string& line) {
  line.clear();
  int32_t got;
  do {
    got = recvInto(s, 1, 0);
    if (got > 0) line.push_back(char(m_buffer[0]));
  } while (m_buffer[0] != 10 && got > 0);
}

int32_t SocketService::sendLine(int32_t s, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  return sendAll(s, line.data(), line.size());
}

std::string SocketService::hostName() {
  std::string name = ownHostName();
  if (name.empty()) return "127.0.0.1";
  uint32_t address = 0;
  std::string official;
  if (lookUp(name, address, &official) && !official.empty()) return official;
  return name;  // the machine's own name when it does not resolve
}

std::string SocketService::peerAddress(int32_t s) {
  if (!owns(s)) return {};
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len) != 0 || peer.ss_family != AF_INET) return {};
  return dotted(reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr.s_addr);
}

std::string SocketService::localAddress() {
  uint32_t address = htonl(INADDR_LOOPBACK);
  std::string name = ownHostName();
  if (!lookUp(name, address, nullptr)) address = htonl(INADDR_LOOPBACK);
  return dotted(address);
}

void SocketService::peek(int32_t s, int32_t n, std::string& out) {
  int32_t got = recvInto(s, n, MSG_PEEK);
  if (got > 0) out.assign(reinterpret_cast<const char*>(m_buffer.data()), size_t(got));
  else out.clear();
}

int32_t SocketService::receiveByte(SocketRecord& r, int32_t s) {
  r.lastCount = recvInto(s, 1, 0);
  return m_buffer[0];
}

void SocketService::sendByte(SocketRecord& r, int32_t s, int32_t v) {
  char byte = char(uint8_t(v));
  r.lastCount = sendAll(s, &byte, 1);
}

SocketService::AsyncSocket* SocketService::asyncOf(int fd) {
  for (AsyncSocket& a : m_async)
    if (a.fd == fd) return &a;
  return nullptr;
}

void SocketService::rearmRead(int fd) {
  if (AsyncSocket* a = asyncOf(fd)) a->readPosted = false;
}

void SocketService::collectNotifications(std::vector<SocketNotification>& out) {
  constexpr timespec kNow = {0, 0};
  for (AsyncSocket& a : m_async) {
    if (a.closed) continue;
    pollfd p{a.fd, POLLIN | POLLOUT | POLLRDHUP, 0};
    if (::ppoll(&p, 1, &kNow, nullptr) < 0) continue;
    auto post = [&](int32_t event, int32_t error) {
      if (a.events & event) out.push_back({a.form, a.message, a.fd, int32_t(uint32_t(error) << 16 | uint32_t(event))});
    };
    if (a.connecting) {
      int err = a.connectError;
      if (err < 0) {
        if (!(p.revents & (POLLOUT | POLLERR | POLLHUP))) continue;
        socklen_t len = sizeof err;
        getsockopt(a.fd, SOL_SOCKET, SO_ERROR, &err, &len);
      }
      a.connecting = false;
      post(kFdConnect, winsockError(err));
      if (err != 0) {
        a.closed = true;  // nothing more comes from a connection that never was
        continue;
      }
      a.writeArmed = true;  // a new connection can be written to
    }
    if ((p.revents & POLLIN) && !a.readPosted) {
      int pending = 0;
      if (ioctl(a.fd, FIONREAD, &pending) == 0 && pending > 0) {
        a.readPosted = true;
        post(kFdRead, 0);
      }
    }
    if (a.writeArmed && (p.revents & POLLOUT)) {
      a.writeArmed = false;
      post(kFdWrite, 0);
    }
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(a.fd, SOL_SOCKET, SO_ERROR, &err, &len);
      a.closed = true;
      post(kFdClose, winsockError(err));
    }
  }
}

SocketService& socketService(State& s) {
  if (!s.sockets) [[unlikely]]
    s.sockets = std::make_unique<SocketService>();
  return *s.sockets;
}

void pumpSocketNotifications(State& s) {
  if (!s.sockets || !s.sockets->hasAsyncSockets()) return;
  std::vector<SocketNotification> due;
  s.sockets->collectNotifications(due);
  for (const SocketNotification& n : due) {
    uint32_t window = s.sockets->formWindow ? s.sockets->formWindow(s, n.form) : 0;
    if (window) postMessage(s, WindowMessage{window, n.message, n.wParam, n.lParam});
  }
}

}  // namespace tavrin
