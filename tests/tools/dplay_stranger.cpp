// A machine that is in no session sends a DirectPlay machine the messages that would end or narrow its
// part in its session, as an attacker would: over one TCP connection of its own, or as single UDP
// datagrams. For the tests that check those messages are ignored.
//   dplay_stranger tcp|udp IP PORT MESSAGE...
// MESSAGE: youaredead | deleteplayer:ID | iamnameserver:ID | sessiondesc   (ID in hex or decimal)
// Exit 0 when everything was sent, 2 on a usage error, 1 when the target could not be reached.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "dplay4/codec.h"

using namespace skyvox::dplay4;

namespace {

std::vector<uint8_t> Message(const std::string& text) {
  const size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  const uint32_t id =
      colon == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(text.substr(colon + 1), nullptr, 0));
  if (kind == "youaredead") return EncodeYouAreDead();
  if (kind == "deleteplayer")
    return PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, id, 0, 0, 0}.Encode();
  if (kind == "iamnameserver") {
    IAmNameServer claim;
    claim.IdHost = id;
    claim.Flags = kPlayerSystem | kPlayerNameServer | kPlayerInGroup;
    return claim.Encode();
  }
  if (kind == "sessiondesc") {
    SessionDescChanged change;
    change.Name = u"Taken over";
    return change.Encode();
  }
  throw std::invalid_argument("unknown message: " + text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (std::strcmp(argv[1], "tcp") != 0 && std::strcmp(argv[1], "udp") != 0)) {
    std::fprintf(stderr, "usage: dplay_stranger tcp|udp IP PORT MESSAGE...\n");
    return 2;
  }
  const bool tcp = std::strcmp(argv[1], "tcp") == 0;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[3])));
  std::vector<std::vector<uint8_t>> messages;
  try {
    if (inet_pton(AF_INET, argv[2], &to.sin_addr) != 1) throw std::invalid_argument("not an IPv4 address");
    SockAddr self;  // 0.0.0.0: "the address this came from", as every machine says
    self.Port = 2300;
    for (int i = 4; i < argc; ++i) messages.push_back(Frame(self, Message(argv[i])));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dplay_stranger: %s\n", e.what());
    return 2;
  }
  const int s = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (s < 0 || (tcp && connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)) {
    std::perror("dplay_stranger: connect");
    return 1;
  }
  for (const auto& m : messages) {
    const ssize_t n = tcp ? send(s, m.data(), m.size(), MSG_NOSIGNAL)
                          : sendto(s, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n != static_cast<ssize_t>(m.size())) {
      std::perror("dplay_stranger: send");
      return 1;
    }
  }
  if (tcp) {  // let the other side read everything before the connection goes
    shutdown(s, SHUT_WR);
    pollfd p{s, POLLIN, 0};
    poll(&p, 1, 1000);
  }
  close(s);
  std::printf("sent %zu message(s) over %s\n", messages.size(), argv[1]);
  return 0;
}
