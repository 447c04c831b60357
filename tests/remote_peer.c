/* Preloaded into a server under test: every IPv4 connection it accepts
 * appears to come from 192.0.2.1 (TEST-NET-1, documentation only), so a
 * client on 127.0.0.1 is treated as a remote one. Nothing is sent there. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

static void relabel(struct sockaddr *address) {
  if (address != 0 && address->sa_family == AF_INET)
    ((struct sockaddr_in *)address)->sin_addr.s_addr = htonl(0xC0000201);
}

int accept(int fd, struct sockaddr *address, socklen_t *length) {
  int (*real)(int, struct sockaddr *, socklen_t *) = dlsym(RTLD_NEXT, "accept");
  int connection = real(fd, address, length);
  if (connection >= 0) relabel(address);
  return connection;
}

int accept4(int fd, struct sockaddr *address, socklen_t *length, int flags) {
  int (*real)(int, struct sockaddr *, socklen_t *, int) = dlsym(RTLD_NEXT, "accept4");
  int connection = real(fd, address, length, flags);
  if (connection >= 0) relabel(address);
  return connection;
}
