// The least a relay can do on this machine, as a yardstick for the gateway:
// one thread, level-triggered epoll, accept, connect, copy both ways, close.
// No screening, no log, no trace, no back-pressure (a short send drops bytes),
// so it is only fit for the small messages of the session-rate benchmark.
// With "proxy" it drops the PROXY v2 header each client sends first, so that a
// gateway with ProxyOut 2 can be timed in front of smtp-sink, which reads none.
//   bare_relay LISTEN_PORT TARGET_PORT [proxy]        (both on 127.0.0.1)
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

struct end {
  int fd;
  struct end* peer;
  int proxy_header;  // a PROXY v2 header is still to be dropped
};

static struct sockaddr_in loopback(int port) {
  struct sockaddr_in a = {.sin_family = AF_INET, .sin_port = htons((unsigned short)port)};
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

static void watch(int ep, struct end* e) {
  struct epoll_event ev = {.events = EPOLLIN, .data.ptr = e};
  epoll_ctl(ep, EPOLL_CTL_ADD, e->fd, &ev);
}

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && strcmp(argv[3], "proxy") == 0)) {
    fprintf(stderr, "usage: %s LISTEN_PORT TARGET_PORT [proxy]\n", argv[0]);
    return 2;
  }
  struct sockaddr_in listen_at = loopback(atoi(argv[1])), target = loopback(atoi(argv[2]));
  int one = 1;
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listener, (struct sockaddr*)&listen_at, sizeof listen_at) != 0 ||
      listen(listener, 1024) != 0) {
    perror("bare_relay: listen");
    return 1;
  }
  int ep = epoll_create1(0);
  struct epoll_event ev = {.events = EPOLLIN, .data.ptr = NULL};
  epoll_ctl(ep, EPOLL_CTL_ADD, listener, &ev);
  struct epoll_event events[128];
  char buffer[8192];
  for (;;) {
    int ready = epoll_wait(ep, events, 128, -1);
    // Ends closed in this batch are freed after it, since a later event may still name them;
    // a batch of 128 events closes at most 128 pairs.
    struct end* closed[128];
    int closed_count = 0;
    for (int i = 0; i < ready; ++i) {
      struct end* e = events[i].data.ptr;
      if (e == NULL) {
        int in;
        while ((in = accept4(listener, NULL, NULL, SOCK_NONBLOCK)) >= 0) {
          int out = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
          connect(out, (struct sockaddr*)&target, sizeof target);
          setsockopt(in, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          setsockopt(out, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          struct end* a = malloc(sizeof *a);
          struct end* b = malloc(sizeof *b);
          *a = (struct end){in, b, argc == 4};
          *b = (struct end){out, a, 0};
          watch(ep, a);
          watch(ep, b);
        }
        continue;
      }
      if (e->fd < 0) continue;
      if (e->proxy_header) {
        // The gateway sends the header alone, at once after the connect and
        // before the mail server's greeting can have come: it is all there.
        unsigned char head[16];
        e->proxy_header = 0;
        if (recv(e->fd, head, sizeof head, 0) == sizeof head) {
          recv(e->fd, buffer, (size_t)(head[14] << 8 | head[15]), 0);
          continue;
        }
      }
      ssize_t n = recv(e->fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        send(e->peer->fd, buffer, (size_t)n, MSG_NOSIGNAL);
        continue;
      }
      if (n < 0 && errno == EAGAIN) continue;
      close(e->fd);
      close(e->peer->fd);
      e->fd = e->peer->fd = -1;
      closed[closed_count++] = e;
    }
    for (int i = 0; i < closed_count; ++i) {
      free(closed[i]->peer);
      free(closed[i]);
    }
  }
}
