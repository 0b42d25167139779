// A stand-in for libasound's sequencer client, preloaded (LD_PRELOAD) into a host that will not
// start without /dev/snd/seq on a machine that has none. Every client opens, names itself, makes
// ports and a queue, and sends into nowhere; nothing ever arrives (its poll descriptor never
// becomes readable). Only the calls that take a client handle are replaced: the info records
// stay libasound's own, so callers size and fill them with the real library as always.
#include <alsa/asoundlib.h>
#include <errno.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

#pragma GCC diagnostic ignored "-Wunused-parameter"

struct _snd_seq {
    int fd;  // an eventfd nobody writes to
    int client;
    int ports;
};

static atomic_int nextClient = 128;

int snd_seq_open(snd_seq_t** seq, const char* name, int streams, int mode)
{
    snd_seq_t* s = calloc(1, sizeof *s);
    if (s == NULL)
        return -ENOMEM;
    s->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s->client = atomic_fetch_add(&nextClient, 1);
    *seq = s;
    return 0;
}

int snd_seq_close(snd_seq_t* seq)
{
    close(seq->fd);
    free(seq);
    return 0;
}
int snd_seq_client_id(snd_seq_t* seq) { return seq->client; }
int snd_seq_create_simple_port(snd_seq_t* seq, const char* name, unsigned caps, unsigned type) { return seq->ports++; }
int snd_seq_poll_descriptors_count(snd_seq_t* seq, short events) { return 1; }
int snd_seq_poll_descriptors(snd_seq_t* seq, struct pollfd* pfds, unsigned space, short events)
{
    if (space < 1)
        return 0;
    pfds[0] = (struct pollfd){.fd = seq->fd, .events = events};
    return 1;
}
int snd_seq_event_input(snd_seq_t* seq, snd_seq_event_t** ev)
{
    *ev = NULL;
    return -EAGAIN;
}
int snd_seq_get_queue_status(snd_seq_t* seq, int q, snd_seq_queue_status_t* status)
{
    memset(status, 0, snd_seq_queue_status_sizeof());
    return 0;
}
int snd_seq_get_queue_tempo(snd_seq_t* seq, int q, snd_seq_queue_tempo_t* tempo)
{
    memset(tempo, 0, snd_seq_queue_tempo_sizeof());
    return 0;
}
int snd_seq_get_port_info(snd_seq_t* seq, int port, snd_seq_port_info_t* info)
{
    memset(info, 0, snd_seq_port_info_sizeof());
    return 0;
}

// Nobody else is there to list, and whatever is sent or set is accepted and dropped.
#define NOBODY(name, ...)                                                                                              \
    int name(snd_seq_t* seq, __VA_ARGS__) { return -ENOENT; }
#define ACCEPTED(name, ...)                                                                                            \
    int name(snd_seq_t* seq, __VA_ARGS__) { return 0; }
NOBODY(snd_seq_get_any_client_info, int c, snd_seq_client_info_t* i)
NOBODY(snd_seq_get_any_port_info, int c, int p, snd_seq_port_info_t* i)
NOBODY(snd_seq_query_next_client, snd_seq_client_info_t* i)
NOBODY(snd_seq_query_next_port, snd_seq_port_info_t* i)
NOBODY(snd_seq_query_port_subscribers, snd_seq_query_subscribe_t* s)
ACCEPTED(snd_seq_set_client_name, const char* n)
ACCEPTED(snd_seq_free_queue, int q)
ACCEPTED(snd_seq_set_queue_tempo, int q, snd_seq_queue_tempo_t* t)
ACCEPTED(snd_seq_set_queue_timer, int q, snd_seq_queue_timer_t* t)
ACCEPTED(snd_seq_control_queue, int q, int type, int value, snd_seq_event_t* ev)
ACCEPTED(snd_seq_delete_simple_port, int p)
ACCEPTED(snd_seq_set_port_info, int p, snd_seq_port_info_t* i)
ACCEPTED(snd_seq_subscribe_port, snd_seq_port_subscribe_t* s)
ACCEPTED(snd_seq_unsubscribe_port, snd_seq_port_subscribe_t* s)
ACCEPTED(snd_seq_event_output, snd_seq_event_t* ev)
ACCEPTED(snd_seq_event_output_direct, snd_seq_event_t* ev)
ACCEPTED(snd_seq_event_input_pending, int fetch)
ACCEPTED(snd_seq_remove_events, snd_seq_remove_events_t* r)
int snd_seq_alloc_queue(snd_seq_t* seq) { return 0; }
int snd_seq_drain_output(snd_seq_t* seq) { return 0; }
int snd_seq_drop_output(snd_seq_t* seq) { return 0; }
int snd_seq_drop_input(snd_seq_t* seq) { return 0; }
