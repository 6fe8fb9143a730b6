// The socket service against real peers on 127.0.0.1: the test's own BSD sockets play the
// other side. Every blocking call is bounded by socket timeouts, every wait by a deadline.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "interp/message_queue.h"
#include "tools/service_list.h"
#include "lib/sockets.h"
#include "interp/state.h"

namespace tavrin {
namespace {

using Clock = std::chrono::steady_clock;

// Socket timeouts, so that a fault shows as a failure and never as a hang.
void bound(int fd) {
  timeval t{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

int portOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A listening socket of the test on an ephemeral loopback port.
struct Listener {
  int fd = -1;
  int port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd, 5), 0);
    bound(fd);
    port = portOf(fd);
  }
  int take() {
    int c = ::accept(fd, nullptr, nullptr);
    if (c >= 0) bound(c);
    return c;
  }
  ~Listener() { ::close(fd); }
};

int connectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  bound(fd);
  return fd;
}

void put(int fd, std::string_view bytes) { ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); }

std::string get(int fd, size_t n) {
  std::string out(n, '\0');
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::recv(fd, out.data() + done, n - done, 0);
    if (r <= 0) break;
    done += size_t(r);
  }
  out.resize(done);
  return out;
}

// Polls until the handle is readable (data has crossed loopback) or a second has passed.
bool waitReadable(SocketService& net, int32_t s) {
  auto end = Clock::now() + std::chrono::seconds(2);
  while (Clock::now() < end) {
    if (net.readable(s) == 1) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// A port nobody listens on: bound once, then released.
int freePort() {
  Listener l;
  return l.port;
}

TEST(Sockets, RecordStartsWithTheOriginalDefaults) {
  SocketRecord r;
  EXPECT_EQ(r.lastCount, 0);
  EXPECT_EQ(r.family, 2);
  EXPECT_EQ(r.type, 1);
  EXPECT_EQ(r.protocol, 0);
  EXPECT_EQ(r.notifyMessage, 0);
  EXPECT_EQ(r.notifyEvents, 16);
}

TEST(Sockets, ServerAcceptsAndReceivesLinesBytesAndPeeks) {
  SocketService net;
  SocketRecord r;
  int32_t server = net.openServerHandle(r, 0);
  ASSERT_GE(server, 0);
  EXPECT_EQ(r.handle, server);
  EXPECT_EQ(net.readable(server), 0);  // nobody has connected yet
  int peer = connectTo(portOf(server));
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(waitReadable(net, server));  // a pending connection reads as readable
  int32_t h = net.accept(server);
  ASSERT_GE(h, 0);
  bound(h);
  EXPECT_EQ(net.peerAddress(h), "127.0.0.1");

  auto start = Clock::now();
  EXPECT_EQ(net.readable(h), 0);  // no data: 0 and no waiting
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));

  put(peer, "abc\r\nrest");
  std::string line;
  net.receiveLine(h, line);
  EXPECT_EQ(line, "abc\r\n");  // the CR stays, the LF ends the line and is kept here
  ASSERT_TRUE(waitReadable(net, h));

  std::string peeked;
  net.peek(h, 100, peeked);
  EXPECT_EQ(peeked, "rest");
  EXPECT_EQ(r.lastCount, 0);  // a peek leaves the last count alone
  std::string got;
  net.receive(r, h, 2, got);
  EXPECT_EQ(got, "re");
  EXPECT_EQ(r.lastCount, 2);
  net.receive(r, h, 100, got);
  EXPECT_EQ(got, "st");
  EXPECT_EQ(net.readable(h), 0);

  put(peer, "Z");
  EXPECT_EQ(net.receiveByte(r, h), 'Z');
  EXPECT_EQ(r.lastCount, 1);

  // The peer goes: receives give 0, and the byte receive the stale first buffer byte.
  ::close(peer);
  EXPECT_TRUE(waitReadable(net, h));  // a closed connection reads as readable
  EXPECT_EQ(net.receiveByte(r, h), 'Z');
  EXPECT_EQ(r.lastCount, 0);
  net.receive(r, h, 10, got);
  EXPECT_EQ(got, "");
  EXPECT_EQ(r.lastCount, 0);
  net.receiveLine(h, line);
  EXPECT_EQ(line, "");
}

TEST(Sockets, LineEndsAtCloseAndAStaleLineFeedStopsTheNextOne) {
  SocketService net;
  SocketRecord r;
  int32_t server = net.openServerHandle(r, 0);
  int peer = connectTo(portOf(server));
  int32_t h = net.accept(server);
  bound(h);
  put(peer, "one\n");
  std::string line;
  net.receiveLine(h, line);
  EXPECT_EQ(line, "one\n");
  put(peer, "xy");
  ::close(peer);
  net.receiveLine(h, line);
  EXPECT_EQ(line, "xy");  // closed before any LF: whatever came
  EXPECT_EQ(net.receiveByte(r, h), 'y');
  EXPECT_EQ(r.lastCount, 0);
}

TEST(Sockets, ClientConnectsAndSends) {
  Listener l;
  SocketService net;
  SocketRecord r;
  int32_t h = net.connectHandle(r, "127.0.0.1", l.port);
  ASSERT_GE(h, 0);
  EXPECT_EQ(r.handle, h);
  int peer = l.take();
  ASSERT_GE(peer, 0);

  EXPECT_EQ(net.sendLine(h, "abc"), 4);  // one LF added
  EXPECT_EQ(get(peer, 4), "abc\n");
  EXPECT_EQ(r.lastCount, 0);  // the line send leaves the last count alone

  net.send(r, h, "hello", 3);
  EXPECT_EQ(r.lastCount, 3);
  EXPECT_EQ(get(peer, 3), "hel");
  net.send(r, h, "hi", 1000);  // a count past the text sends only the text
  EXPECT_EQ(r.lastCount, 2);
  EXPECT_EQ(get(peer, 2), "hi");
  net.send(r, h, "x", -1);
  EXPECT_EQ(r.lastCount, -1);
  net.sendByte(r, h, 256 + 'A');  // the low 8 bits
  EXPECT_EQ(r.lastCount, 1);
  EXPECT_EQ(get(peer, 1), "A");

  std::string big(100000, 'q');
  net.send(r, h, big, int32_t(big.size()));
  EXPECT_EQ(r.lastCount, 100000);
  EXPECT_EQ(get(peer, big.size()), big);
  ::close(peer);
}

TEST(Sockets, StatementFormsStoreTheHandleAsTheOriginalDid) {
  Listener l;
  SocketService net;
  SocketRecord r;
  net.connect(r, "localhost", l.port);  // by name: the dotted parse fails first
  ASSERT_GE(r.handle, 0);
  int peer = l.take();
  ASSERT_GE(peer, 0);
  EXPECT_EQ(net.sendLine(r.handle, "x"), 2);
  EXPECT_EQ(get(peer, 2), "x\n");
  ::close(peer);

  // A refused connect keeps its handle in the record; the expression form says -1.
  int refused = freePort();
  net.connect(r, "127.0.0.1", refused);
  EXPECT_GE(r.handle, 0);
  EXPECT_TRUE(net.owns(r.handle));
  SocketRecord q;
  EXPECT_EQ(net.connectHandle(q, "127.0.0.1", refused), -1);
  EXPECT_GE(q.handle, 0);
}

TEST(Sockets, ReceiveAndPeekAreClippedToTheBuffer) {
  SocketService net;
  SocketRecord r;
  int32_t server = net.openServerHandle(r, 0);
  int peer = connectTo(portOf(server));
  int32_t h = net.accept(server);
  bound(h);
  std::string big(40000, 'b');
  put(peer, big);
  std::string got;
  auto end = Clock::now() + std::chrono::seconds(2);
  do net.peek(h, 100000, got);
  while (got.size() < size_t(kReceiveBufferSize) && Clock::now() < end);
  EXPECT_EQ(got.size(), size_t(kReceiveBufferSize));
  net.receive(r, h, 1000000, got);
  EXPECT_EQ(r.lastCount, kReceiveBufferSize);
  net.receive(r, h, 1000000, got);
  EXPECT_EQ(r.lastCount, 40000 - kReceiveBufferSize);
  ::close(peer);
}

TEST(Sockets, PortInUseYieldsMinusOne) {
  Listener l;
  SocketService net;
  SocketRecord r;
  EXPECT_EQ(net.openServerHandle(r, l.port), -1);
  int32_t first = net.openServerHandle(r, 0);
  ASSERT_GE(first, 0);
  EXPECT_EQ(net.openServerHandle(r, portOf(first)), -1);  // our own listener holds it too
  EXPECT_EQ(r.handle, first);                              // a failed open leaves the record
  // The statement form fails silently and opens no socket that lingers.
  net.openServer(r, l.port);
  EXPECT_EQ(r.handle, first);
}

TEST(Sockets, ListeningPortIsReusableAtOnceAfterAClose) {
  SocketService net;
  SocketRecord r;
  int32_t server = net.openServerHandle(r, 0);
  int port = portOf(server);
  int peer = connectTo(port);
  int32_t h = net.accept(server);
  net.close(h);  // our side closes first: its end of the connection lingers in TIME_WAIT
  net.close(server);
  ::close(peer);
  EXPECT_GE(net.openServerHandle(r, port), 0);
}

TEST(Sockets, ReadinessOfTwoSockets) {
  SocketService net;
  SocketRecord r;
  int32_t server = net.openServerHandle(r, 0);
  int p1 = connectTo(portOf(server));
  int32_t a = net.accept(server);
  int p2 = connectTo(portOf(server));
  int32_t b = net.accept(server);
  EXPECT_EQ(net.readable(a, b), 0);
  put(p2, "x");
  ASSERT_TRUE(waitReadable(net, b));
  EXPECT_EQ(net.readable(a, b), 1);
  put(p1, "y");
  ASSERT_TRUE(waitReadable(net, a));
  EXPECT_EQ(net.readable(a, b), 2);
  EXPECT_EQ(net.readable(a, a), 1);  // a set holds a handle once
  EXPECT_EQ(net.readable(a, 12345), -1);
  ::close(p1);
  ::close(p2);
}

TEST(Sockets, ForeignHandlesAreNotTouched) {
  SocketService net;
  SocketRecord r;
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  net.close(pipeEnds[1]);  // not a socket of ours: stays open
  EXPECT_NE(fcntl(pipeEnds[1], F_GETFD), -1);
  EXPECT_EQ(net.readable(pipeEnds[0]), -1);
  net.send(r, pipeEnds[1], "x", 1);
  EXPECT_EQ(r.lastCount, -1);
  std::string got = "stale";
  net.receive(r, pipeEnds[0], 10, got);
  EXPECT_EQ(r.lastCount, -1);
  EXPECT_EQ(got, "");
  EXPECT_EQ(net.accept(-1), -1);
  EXPECT_EQ(net.peerAddress(pipeEnds[0]), "");
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(Sockets, SendToAGonePeerReturnsMinusOneWithoutSigpipe) {
  auto previous = std::signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end the test binary
  Listener l;
  SocketService net;
  SocketRecord r;
  int32_t h = net.connectHandle(r, "127.0.0.1", l.port);
  ASSERT_GE(h, 0);
  ::close(l.take());
  std::string block(1000, 'x');
  bool failed = false;
  for (int i = 0; i < 100 && !failed; ++i) {
    net.send(r, h, block, 1000);
    failed = r.lastCount == -1;
    if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(net.sendLine(h, "gone"), -1);
  std::signal(SIGPIPE, previous);
}

TEST(Sockets, HostResolution) {
  EXPECT_EQ(SocketService::resolve("localhost"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(SocketService::resolve("10.0.0.1"), inet_addr("10.0.0.1"));
  EXPECT_EQ(SocketService::resolve("no-such-host.invalid"), htonl(INADDR_LOOPBACK));
  SocketService net;
  EXPECT_FALSE(net.hostName().empty());
  std::string local = net.localAddress();
  in_addr parsed{};
  EXPECT_EQ(inet_pton(AF_INET, local.c_str(), &parsed), 1) << local;
}

// Asynchronous mode: the connect returns -1 at once and its outcome, the data and the
// close come as notifications.
TEST(Sockets, AsynchronousConnectNotifies) {
  Listener l;
  SocketService net;
  SocketRecord r;
  r.notifyMessage = 2000;
  r.notifyEvents = kFdConnect | kFdRead | kFdClose;
  r.notifyForm = 4;
  EXPECT_EQ(net.connectHandle(r, "127.0.0.1", l.port), -1);
  int32_t h = r.handle;
  ASSERT_GE(h, 0);
  std::vector<SocketNotification> events;
  auto collectUntil = [&](int32_t event) {
    auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end) {
      net.collectNotifications(events);
      for (auto& n : events)
        if ((n.lParam & 0xFFFF) == event) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  };
  ASSERT_TRUE(collectUntil(kFdConnect));
  EXPECT_EQ(events[0].form, 4);
  EXPECT_EQ(events[0].message, 2000u);
  EXPECT_EQ(events[0].wParam, h);
  EXPECT_EQ(events[0].lParam, kFdConnect);  // error 0 in the high word
  int peer = l.take();
  put(peer, "data");
  events.clear();
  ASSERT_TRUE(collectUntil(kFdRead));
  net.collectNotifications(events);  // no second FD_READ before a receive
  EXPECT_EQ(events.size(), 1u);
  std::string got;
  net.receive(r, h, 100, got);
  EXPECT_EQ(got, "data");
  ::close(peer);
  events.clear();
  ASSERT_TRUE(collectUntil(kFdClose));

  // Refused: FD_CONNECT carries WSAECONNREFUSED.
  SocketRecord q;
  q = r;
  EXPECT_EQ(net.connectHandle(q, "127.0.0.1", freePort()), -1);
  events.clear();
  ASSERT_TRUE(collectUntil(kFdConnect));
  EXPECT_EQ(events.back().lParam, (10061 << 16) | kFdConnect);

  // 1024 and below: a plain blocking connect.
  SocketRecord plain;
  plain.notifyMessage = 1024;
  plain.notifyForm = 4;
  int32_t blocking = net.connectHandle(plain, "127.0.0.1", l.port);
  ASSERT_GE(blocking, 0);
  EXPECT_EQ(fcntl(blocking, F_GETFL) & O_NONBLOCK, 0);
}

// The message pump posts the notifications to the window of the record's form.
TEST(Sockets, NotificationsReachTheFormsWindowThroughTheMessagePump) {
  Listener l;
  State s;
  s.services = engineServices();  // the socket service's pump step
  SocketService& net = socketService(s);
  constexpr uint32_t kWindow = 0x00010000;
  net.formWindow = [](State&, int32_t form) { return form == 2 ? kWindow : 0u; };
  static std::vector<WindowMessage> received;
  received.clear();
  registerWindow(s, kWindow, [](State&, void*, const WindowMessage& m) {
    received.push_back(m);
    return 0;
  }, nullptr);
  SocketRecord r;
  r.notifyMessage = 1500;
  r.notifyForm = 2;
  r.notifyEvents = kFdConnect | kFdWrite;
  ASSERT_EQ(net.connectHandle(r, "127.0.0.1", l.port), -1);
  auto end = Clock::now() + std::chrono::seconds(2);
  while (received.size() < 2 && Clock::now() < end) {
    processMessages(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].message, 1500u);
  EXPECT_EQ(received[0].wParam, r.handle);
  EXPECT_EQ(received[0].lParam, kFdConnect);
  EXPECT_EQ(received[1].lParam, kFdWrite);  // a new connection can be written to
  // A form without a window: nothing is posted.
  SocketRecord q = r;
  q.notifyForm = 3;
  net.connectHandle(q, "127.0.0.1", l.port);
  received.clear();
  for (int i = 0; i < 50; ++i) {
    processMessages(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(s.core.messages.pending.empty());
}

}  // namespace
}  // namespace tavrin
