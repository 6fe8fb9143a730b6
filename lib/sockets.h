// The socket service: TCP over BSD sockets. A socket handle is the file descriptor; every
// operation is one member function taking already-converted operands and returning what
// the program sees (-1 on a socket error). The otSocket binding is ui/types/socket.cpp.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

struct State;

inline constexpr int kReceiveBufferSize = 32768;  // receive and peek lengths are clipped to it
inline constexpr int kReadinessSetSize = 64;

// Winsock numbers the program uses: families, types and notification event bits.
inline constexpr int32_t kAfInet = 2;
inline constexpr int32_t kSockStream = 1;
inline constexpr int32_t kFdRead = 1, kFdWrite = 2, kFdOob = 4, kFdAccept = 8, kFdConnect = 16, kFdClose = 32;
inline constexpr int32_t kAsyncMessageFloor = 1024;  // notification messages above it switch it on

// The 40-byte socket record: ten 32-bit fields in this order. Fields no statement sets
// start at 0, the handle at -1 (no socket) and the form at -1 (none assigned).
struct SocketRecord {
  int32_t reserved = 0;
  int32_t lastCount = 0;
  int32_t handle = -1;
  int32_t family = kAfInet;
  int32_t type = kSockStream;
  int32_t protocol = 0;
  int32_t notifyMessage = 0;
  int32_t notifyEvents = kFdConnect;
  int32_t notifyForm = -1;
  int32_t spare = 0;
};
static_assert(sizeof(SocketRecord) == 40);

// One notification of an asynchronous socket, as it is posted to the form's window:
// wParam the handle, lParam the event in the low word and the Winsock error in
// the high word.
struct SocketNotification {
  int32_t form = -1;
  uint32_t message = 0;
  int32_t wParam = 0;
  int32_t lParam = 0;
};

class SocketService {
 public:
  SocketService();
  ~SocketService();
  SocketService(const SocketService&) = delete;
  SocketService& operator=(const SocketService&) = delete;

  // id 0. The statement form binds and listens with AF_INET and does not store the handle;
  // the expression form uses the record's family, stores the handle and returns it (or -1).
  void openServer(SocketRecord& r, int32_t port);
  int32_t openServerHandle(SocketRecord& r, int32_t port);
  // id 1.
  void close(int32_t s);
  // ids 5, 6, 12: how many of the handles are readable now, or -1; never waits.
  int32_t readable(int32_t s1, int32_t s2);
  int32_t readable(int32_t s);
  // id 7: blocks for a connection; the new handle or -1.
  int32_t accept(int32_t s);
  // id 9: recv of up to n bytes into the receive buffer; the last count is its result,
  // `out` the bytes (empty on 0 or -1).
  void receive(SocketRecord& r, int32_t s, int32_t n, std::string& out);
  // id 10: sends the first n bytes of data (only data when n is longer); the last count.
  void send(SocketRecord& r, int32_t s, std::string_view data, int32_t n);
  // id 11. The statement form connects with AF_INET; the expression form with the
  // record's family, switches to asynchronous mode when the record asks for it, and
  // returns the handle if the connect succeeded, else -1. Both store the handle.
  void connect(SocketRecord& r, std::string_view host, int32_t port);
  int32_t connectHandle(SocketRecord& r, std::string_view host, int32_t port);
  // id 13: receives byte by byte up to and including an LF; `line` keeps the LF.
  void receiveLine(int32_t s, std::string& line);
  // id 14: the text and one LF; the send result.
  int32_t sendLine(int32_t s, std::string_view text);
  // ids 15, 16, 17.
  std::string hostName();
  std::string peerAddress(int32_t s);
  std::string localAddress();
  // id 18: the bytes stay queued.
  void peek(int32_t s, int32_t n, std::string& out);
  // id 25: one byte; the result is the buffer's first byte, stale when nothing came.
  int32_t receiveByte(SocketRecord& r, int32_t s);
  // id 26.
  void sendByte(SocketRecord& r, int32_t s, int32_t v);

  // Host resolution of connect: a dotted address, else a lookup, else 127.0.0.1. The
  // address in network byte order.
  static uint32_t resolve(std::string_view host);

  // Asynchronous sockets: the events that have become due since the last call, in the
  // order they happened. The message pump posts them to the forms' windows.
  void collectNotifications(std::vector<SocketNotification>& out);
  bool hasAsyncSockets() const { return !m_async.empty(); }

  // The window handle of a form instance (0: none), supplied by the visual layer.
  uint32_t (*formWindow)(State& s, int32_t form) = nullptr;

  // Closes every socket still open (the end of the run).
  void closeAll();

  // Whether the handle is one of the sockets this service opened and has not closed.
  bool owns(int32_t s) const;

 private:
  struct AsyncSocket {
    int fd = -1;
    int32_t form = -1;
    uint32_t message = 0;
    int32_t events = 0;
    int connectError = -1;    // errno of a connect that ended at once; -1 while under way
    bool connecting = true;   // FD_CONNECT not yet reported
    bool readPosted = false;  // FD_READ reported and not re-enabled by a receive
    bool writeArmed = false;  // FD_WRITE due when the socket becomes writable
    bool closed = false;      // FD_CLOSE reported (or the connection never came about)
  };

  int newSocket(int32_t family, int32_t type, int32_t protocol);
  // Receives at most n bytes (clipped to the buffer) into `into`, by default the receive buffer.
  int32_t recvInto(int32_t s, int32_t n, int flags, char* into = nullptr);
  int32_t sendAll(int32_t s, const char* data, size_t n);
  void forget(int fd);
  AsyncSocket* asyncOf(int fd);
  void rearmRead(int fd);

  std::vector<uint8_t> m_owned;  // indexed by fd
  std::vector<AsyncSocket> m_async;
  // The receive buffer every receive and peek overwrites; the line and byte receives look
  // at its first byte, which stays from earlier receives when nothing arrives.
  std::array<uint8_t, kReceiveBufferSize> m_buffer{};
};

// The state's socket service, started on first use.
SocketService& socketService(State& s);

// The message pump's part: posts the notifications that are due to the windows of their
// forms (SocketService::formWindow); without a window they are dropped, as every message
// for a window that does not exist is.
void pumpSocketNotifications(State& s);

}  // namespace tavrin
