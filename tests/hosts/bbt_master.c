// A JACK timebase master with a tempo map of its own, for the jalv host test: 4/4 at TEMPO1 from
// frame 0, TEMPO2 from frame CHANGE on; every cycle's bar, beat and tick come from that map.
// It connects its MIDI output to the input port DESTINATION and, with the transport still
// stopped, plays four notes a half beat apart at TEMPO1 (a quarter beat long); then it starts the
// transport and plays a note every half beat into it; at frame LOCATE_AT it locates back to
// LOCATE_TO while rolling, and once it has reached STOP_AT after that it stops and exits. It prints
// what it played while stopped as "stopped frame beat bytes" (frames and beats from its first
// note), every event it sent while rolling as "frame beat bytes" (the beat its own map gives that
// frame), and "locate LOCATE_TO" where the jump fell.
// Usage: bbt_master TEMPO1 CHANGE TEMPO2 LOCATE_AT LOCATE_TO STOP_AT DESTINATION
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>
#include <math.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

enum { MaxEvents = 1024, TicksPerBeat = 1920000 };

typedef struct {
    jack_nframes_t frame;
    unsigned char bytes[3];
} Event;

// Set before the client is activated; read only afterwards.
static double rate, tempo1, tempo2;
static jack_nframes_t change, locateAt, locateTo, stopAt;
static Event events[MaxEvents];
static int eventCount;
static jack_client_t* client;
static jack_port_t* out;

// Written by the process thread only; read by main once `done` is set.
static Event sent[2 * MaxEvents];
static int sentCount, locatedAfter = -1;
enum { StoppedEvents = 8 };
static Event stopped[StoppedEvents];  // at frames from the first
static jack_nframes_t stoppedFrame;   // frames gone by since the first
static atomic_int done;

static double beatAt(double frame)
{
    const double beatsAtChange = change * tempo1 / (60 * rate);
    return frame < change ? frame * tempo1 / (60 * rate) : beatsAtChange + (frame - change) * tempo2 / (60 * rate);
}

static jack_nframes_t frameOf(double beat)
{
    const double beatsAtChange = change * tempo1 / (60 * rate);
    return (jack_nframes_t)llround(beat < beatsAtChange ? beat * 60 * rate / tempo1
                                                        : change + (beat - beatsAtChange) * 60 * rate / tempo2);
}

// Process thread.
static void timebase(jack_transport_state_t state, jack_nframes_t nframes, jack_position_t* pos, int newPos, void* arg)
{
    (void)state, (void)nframes, (void)newPos, (void)arg;
    const double beats = beatAt(pos->frame);
    const long bar = (long)floor(beats / 4);
    const double inBar = beats - 4.0 * bar;
    pos->valid = JackPositionBBT;
    pos->bar = (int32_t)bar + 1;
    pos->beat = (int32_t)floor(inBar) + 1;
    pos->tick = (int32_t)floor((inBar - floor(inBar)) * TicksPerBeat);
    pos->bar_start_tick = 4.0 * bar * TicksPerBeat;
    pos->beats_per_bar = 4;
    pos->beat_type = 4;
    pos->ticks_per_beat = TicksPerBeat;
    pos->beats_per_minute = pos->frame < change ? tempo1 : tempo2;
}

// Process thread.
static int process(jack_nframes_t nframes, void* arg)
{
    (void)arg;
    static int started;
    void* buffer = jack_port_get_buffer(out, nframes);
    jack_midi_clear_buffer(buffer);
    jack_position_t pos;
    const jack_transport_state_t state = jack_transport_query(client, &pos);
    if (!started && jack_port_connected(out) > 0) {
        for (int i = 0; i < StoppedEvents; ++i)  // while stopped, on a clock of its own
            if (stopped[i].frame >= stoppedFrame && stopped[i].frame < stoppedFrame + nframes)
                jack_midi_event_write(buffer, stopped[i].frame - stoppedFrame, stopped[i].bytes, 3);
        stoppedFrame += nframes;
        if (stoppedFrame > stopped[StoppedEvents - 1].frame + rate) {
            jack_transport_locate(client, 0);
            jack_transport_start(client);
            started = 1;
        }
    }
    if (state != JackTransportRolling || atomic_load(&done))
        return 0;
    for (int i = 0; i < eventCount; ++i)
        if (events[i].frame >= pos.frame && events[i].frame < pos.frame + nframes && sentCount < 2 * MaxEvents
            && jack_midi_event_write(buffer, events[i].frame - pos.frame, events[i].bytes, 3) == 0)
            sent[sentCount++] = events[i];
    if (locatedAfter < 0 && pos.frame >= locateAt) {
        jack_transport_locate(client, locateTo);
        locatedAfter = sentCount;
    } else if (locatedAfter >= 0 && pos.frame >= stopAt && pos.frame < locateAt) {  // once the jump has happened
        jack_transport_stop(client);
        atomic_store(&done, 1);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 8) {
        fprintf(stderr, "usage: %s TEMPO1 CHANGE TEMPO2 LOCATE_AT LOCATE_TO STOP_AT DESTINATION\n", argv[0]);
        return 2;
    }
    tempo1 = atof(argv[1]), change = (jack_nframes_t)atol(argv[2]), tempo2 = atof(argv[3]);
    locateAt = (jack_nframes_t)atol(argv[4]), locateTo = (jack_nframes_t)atol(argv[5]);
    stopAt = (jack_nframes_t)atol(argv[6]);
    client = jack_client_open("bbt_master", JackNoStartServer, NULL);
    if (client == NULL) {
        fprintf(stderr, "bbt_master: no JACK server\n");
        return 1;
    }
    rate = jack_get_sample_rate(client);
    for (int k = 0; k < StoppedEvents; k += 2) {
        stopped[k] = (Event){frameOf(k / 4.0), {0x90, (unsigned char)(84 + k), 90}};
        stopped[k + 1] = (Event){frameOf(k / 4.0 + 0.25), {0x80, (unsigned char)(84 + k), 0}};
    }
    for (int k = 0; eventCount + 2 <= MaxEvents && frameOf(k / 2.0) < locateAt + rate; ++k) {
        const unsigned char note = (unsigned char)(48 + k % 36);
        events[eventCount++] = (Event){frameOf(k / 2.0), {0x90, note, 100}};
        events[eventCount++] = (Event){frameOf(k / 2.0 + 0.25), {0x80, note, 0}};
    }
    out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (out == NULL || jack_set_process_callback(client, process, NULL) != 0
        || jack_set_timebase_callback(client, 0, timebase, NULL) != 0 || jack_activate(client) != 0
        || jack_connect(client, jack_port_name(out), argv[7]) != 0) {
        fprintf(stderr, "bbt_master: could not become the timebase master playing into %s\n", argv[7]);
        return 1;
    }
    while (!atomic_load(&done))
        usleep(10000);  // the caller bounds the run in time
    usleep(100000);
    jack_deactivate(client);
    jack_client_close(client);
    for (int i = 0; i < StoppedEvents; ++i)
        printf("stopped %u %.9f %02x%02x%02x\n", stopped[i].frame, beatAt(stopped[i].frame), stopped[i].bytes[0],
               stopped[i].bytes[1], stopped[i].bytes[2]);
    for (int i = 0; i <= sentCount; ++i) {
        if (i == locatedAfter)
            printf("locate %u\n", locateTo);
        if (i < sentCount)
            printf("%u %.9f %02x%02x%02x\n", sent[i].frame, beatAt(sent[i].frame), sent[i].bytes[0], sent[i].bytes[1],
                   sent[i].bytes[2]);
    }
    return 0;
}
