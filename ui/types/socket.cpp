// The otSocket binding: one socket record per object; the members reach the socket
// service (lib/sockets.h), which the sandbox refuses.
#include "interp/evaluator.h"
#include "lib/sockets.h"
#include "runtime/sandbox.h"
#include "interp/state.h"
#include "ui/object_model.h"

namespace tavrin {

namespace {

class SocketObject final : public Object {
public:
  SocketObject() : Object(otSocket) {}
  SocketRecord record;
};

}  // namespace

template <>
SocketRecord& subject<SocketRecord>(MemberCall& c) {
  return static_cast<SocketObject&>(c.object()).record;  // checked to be of this type
}

namespace {

SocketRecord& recordOf(MemberCall& c) { return subject<SocketRecord>(c); }

// The service, for members that reach the network.
SocketService& net(MemberCall& c) {
  if (c.s.sandbox) [[unlikely]]
    sandboxRefuse("sockets");
  return socketService(c.s);
}

void socketOpenServer(MemberCall& c, int32_t port) { net(c).openServer(recordOf(c), port); }
int32_t socketOpenServerHandle(MemberCall& c, int32_t port) { return net(c).openServerHandle(recordOf(c), port); }
void socketClose(MemberCall& c, Mark, int32_t s, Mark) { net(c).close(s); }
int32_t socketReadablePair(MemberCall& c, int32_t s1, int32_t s2) { return net(c).readable(s1, s2); }
int32_t socketReadable(MemberCall& c, int32_t s) { return net(c).readable(s); }
void socketAcceptDiscard(MemberCall& c, int32_t s) { net(c).accept(s); }
// The handle of a read is truncated, not rounded.
int32_t socketAccept(MemberCall& c, double s) { return net(c).accept(truncateToInt(s)); }

void socketReceiveDiscard(MemberCall& c, int32_t s, int32_t n) {
  std::string discarded;
  net(c).receive(recordOf(c), s, n, discarded);
}

void socketReceive(MemberCall& c, int32_t s, int32_t n) {
  SocketService& service = net(c);
  SocketRecord& r = recordOf(c);
  service.receive(r, s, n, c.pushTextSlot());
}

void socketSend(MemberCall& c, Mark, int32_t s, Mark, const std::string& data, Mark, int32_t n, Mark) {
  net(c).send(recordOf(c), s, data, n);
}
void socketConnect(MemberCall& c, const std::string& host, int32_t port) {
  net(c).connect(recordOf(c), host, port);
}
int32_t socketConnectHandle(MemberCall& c, const std::string& host, int32_t port) {
  return net(c).connectHandle(recordOf(c), host, port);
}

void socketReceiveLineToResult(MemberCall& c, int32_t s) {
  SocketService& service = net(c);
  SocketRecord& r = recordOf(c);
  service.receiveLine(s, c.s.resultStr);  // the whole line, its LF included
  r.lastCount = int32_t(c.s.resultStr.size()) - 1;
}

void socketReceiveLine(MemberCall& c, int32_t s) {
  SocketService& service = net(c);
  SocketRecord& r = recordOf(c);
  std::string& line = c.pushTextSlot();
  service.receiveLine(s, line);
  if (!line.empty()) line.pop_back();  // the LF, or the last byte when the peer closed first
  r.lastCount = int32_t(line.size());
}

void socketSendLine(MemberCall& c, int32_t s, const std::string& text) {
  SocketService& service = net(c);
  recordOf(c).lastCount = service.sendLine(s, text);
}
int32_t socketSendLineResult(MemberCall& c, int32_t s, const std::string& text) { return net(c).sendLine(s, text); }
std::string socketHostName(MemberCall& c) { return net(c).hostName(); }
std::string socketPeerAddress(MemberCall& c, int32_t s) { return net(c).peerAddress(s); }
std::string socketLocalAddress(MemberCall& c) { return net(c).localAddress(); }

void socketPeekDiscard(MemberCall& c, int32_t s, int32_t n) {
  std::string discarded;
  net(c).peek(s, n, discarded);
}
void socketPeek(MemberCall& c, int32_t s, int32_t n) { net(c).peek(s, n, c.pushTextSlot()); }

void socketSetNotifyForm(MemberCall& c, const ObjectRef& form) { recordOf(c).notifyForm = form.instance; }

int32_t socketReceiveByte(MemberCall& c, double s) {
  SocketService& service = net(c);
  return service.receiveByte(recordOf(c), truncateToInt(s));
}
void socketSendByte(MemberCall& c, int32_t s, int32_t v) { net(c).sendByte(recordOf(c), s, v); }

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_socket.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(socket){kMembers, &makeObject<SocketObject>};

}  // namespace tavrin
