/* A fake sound card's controls for the ALSA mixer tests: an external control plugin that
 * alsa-lib loads from the configuration a test writes:
 *
 *   ctl_type.tdfake { lib "/path/to/libtdfakectl.so" }
 *   ctl.card { type tdfake state "/path/to/state" layout full }
 *
 * layout "full" gives a card with Master, tone controls, PCM (with a decibel scale), CD,
 * Mic, Line, Video, Capture and automatic gain control; layout "server" only the Master and Capture
 * a sound server's plugin offers. The values live in the state file ("control name=v1,v2" lines),
 * read when the card opens and rewritten after every change, so tests can set the card up
 * beforehand and check afterwards what alsa-lib wrote. When someone else rewrites the
 * file, the card reads it again and reports every control as changed, as a card does
 * when another program moves its controls. */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#define MAX_CONTROLS 16

struct control {
    const char* name;
    int type; /* SND_CTL_ELEM_TYPE_INTEGER or _BOOLEAN */
    int channels;
    long min, max;
    long value[2];
    /* A decibel scale (hundredths of a dB) from min_db at min, step_db per step; none when
     * step_db is 0. */
    long min_db, step_db;
};

struct card {
    snd_ctl_ext_t ext;
    char state[4096];
    int count;
    struct control controls[MAX_CONTROLS];
    int watch;   /* inotify descriptor watching the state file's folder */
    int pending; /* controls still to report as changed after a reload */
};

static const struct control full_layout[] = {
    {"Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 100, {80, 80}},
    {"Master Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}},
    {"Tone Control - Bass", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 40, {20, 20}},
    {"Tone Control - Treble", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 40, {20, 20}},
    {"PCM Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 255, {200, 200}, -5100, 20},
    {"PCM Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}},
    {"CD Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, {20, 20}},
    {"CD Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}},
    {"CD Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {0, 0}},
    {"Line Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {0, 0}},
    {"Mic Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 63, {40, 40}},
    {"Mic Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, {1, 1}},
    {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, {50, 50}},
    {"Auto Gain Control Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, {0, 0}},
    {"Video Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {0, 0}},
};

static const struct control server_layout[] = {
    {"Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 65536, {65536, 65536}},
    {"Master Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, {1, 1}},
    {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 65536, {32768, 32768}},
    {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, {1, 1}},
};

static void load_state(struct card* card) {
    FILE* f = fopen(card->state, "r");
    char line[256];
    if (!f)
        return;
    while (fgets(line, sizeof line, f)) {
        char* eq = strchr(line, '=');
        long a = 0, b = 0;
        int n;
        if (!eq)
            continue;
        *eq = '\0';
        n = sscanf(eq + 1, "%ld,%ld", &a, &b);
        for (int i = 0; i < card->count && n >= 1; ++i) {
            struct control* c = &card->controls[i];
            if (strcmp(c->name, line) != 0)
                continue;
            c->value[0] = a;
            c->value[1] = n == 2 ? b : a;
        }
    }
    fclose(f);
}

static int save_state(const struct card* card) {
    char temp[4200];
    FILE* f;
    snprintf(temp, sizeof temp, "%s.new", card->state);
    f = fopen(temp, "w");
    if (!f)
        return -EIO;
    for (int i = 0; i < card->count; ++i) {
        const struct control* c = &card->controls[i];
        if (c->channels == 2)
            fprintf(f, "%s=%ld,%ld\n", c->name, c->value[0], c->value[1]);
        else
            fprintf(f, "%s=%ld\n", c->name, c->value[0]);
    }
    if (fclose(f) != 0 || rename(temp, card->state) != 0)
        return -EIO;
    return 0;
}

static void fake_close(snd_ctl_ext_t* ext) {
    free(ext->private_data);
}

static int fake_elem_count(snd_ctl_ext_t* ext) {
    return ((struct card*)ext->private_data)->count;
}

static int fake_elem_list(snd_ctl_ext_t* ext, unsigned int offset, snd_ctl_elem_id_t* id) {
    struct card* card = ext->private_data;
    if (offset >= (unsigned int)card->count)
        return -EINVAL;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, card->controls[offset].name);
    return 0;
}

static snd_ctl_ext_key_t fake_find_elem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
    struct card* card = ext->private_data;
    unsigned int numid = snd_ctl_elem_id_get_numid(id);
    const char* name = snd_ctl_elem_id_get_name(id);
    if (numid > 0 && numid <= (unsigned int)card->count)
        return numid - 1;
    for (int i = 0; i < card->count; ++i)
        if (strcmp(card->controls[i].name, name) == 0)
            return i;
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int fake_get_attribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type,
                              unsigned int* acc, unsigned int* count) {
    struct card* card = ext->private_data;
    if (key >= (unsigned long)card->count)
        return -EINVAL;
    *type = card->controls[key].type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    if (card->controls[key].step_db)
        *acc |= SND_CTL_EXT_ACCESS_TLV_READ | SND_CTL_EXT_ACCESS_TLV_CALLBACK;
    *count = card->controls[key].channels;
    return 0;
}

static int fake_get_integer_info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax,
                                 long* istep) {
    struct card* card = ext->private_data;
    if (key >= (unsigned long)card->count)
        return -EINVAL;
    *imin = card->controls[key].min;
    *imax = card->controls[key].max;
    *istep = 1;
    return 0;
}

static int fake_read_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    struct card* card = ext->private_data;
    if (key >= (unsigned long)card->count)
        return -EINVAL;
    for (int i = 0; i < card->controls[key].channels; ++i)
        value[i] = card->controls[key].value[i];
    return 0;
}

static int fake_write_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    struct card* card = ext->private_data;
    struct control* c;
    int changed = 0;
    if (key >= (unsigned long)card->count)
        return -EINVAL;
    c = &card->controls[key];
    for (int i = 0; i < c->channels; ++i) {
        if (value[i] < c->min || value[i] > c->max)
            return -EINVAL;
        changed |= c->value[i] != value[i];
        c->value[i] = value[i];
    }
    if (c->channels == 1)
        c->value[1] = c->value[0];
    if (save_state(card) < 0)
        return -EIO;
    return changed;
}

static int fake_read_event(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned int* event_mask) {
    struct card* card = ext->private_data;
    char buffer[4096];
    if (card->pending == 0) {
        if (card->watch < 0 || read(card->watch, buffer, sizeof buffer) <= 0)
            return -EAGAIN;
        while (read(card->watch, buffer, sizeof buffer) > 0) {
        }
        load_state(card);
        card->pending = card->count;
    }
    --card->pending;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, card->controls[card->pending].name);
    *event_mask = SND_CTL_EVENT_MASK_VALUE;
    return 1;
}

static int fake_tlv(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int op_flag, unsigned int numid,
                    unsigned int* tlv, unsigned int tlv_size) {
    struct card* card = ext->private_data;
    (void)numid;
    if (key >= (unsigned long)card->count || op_flag != 0 || !card->controls[key].step_db)
        return -ENXIO;
    if (tlv_size < 4 * sizeof(unsigned int))
        return -ENOMEM;
    tlv[0] = SND_CTL_TLVT_DB_SCALE;
    tlv[1] = 2 * sizeof(unsigned int);
    tlv[2] = (unsigned int)card->controls[key].min_db;
    tlv[3] = (unsigned int)card->controls[key].step_db;
    return 0;
}

static const snd_ctl_ext_callback_t fake_callback = {
    .close = fake_close,
    .elem_count = fake_elem_count,
    .elem_list = fake_elem_list,
    .find_elem = fake_find_elem,
    .get_attribute = fake_get_attribute,
    .get_integer_info = fake_get_integer_info,
    .read_integer = fake_read_integer,
    .write_integer = fake_write_integer,
    .read_event = fake_read_event,
};

SND_CTL_PLUGIN_DEFINE_FUNC(tdfake) {
    snd_config_iterator_t i, next;
    const char* state = NULL;
    const char* layout = "full";
    const struct control* controls = full_layout;
    int count = sizeof full_layout / sizeof full_layout[0];
    struct card* card;
    int err;
    (void)root;

    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0)
            continue;
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0)
            continue;
        if (strcmp(id, "state") == 0) {
            if (snd_config_get_string(n, &state) < 0)
                return -EINVAL;
            continue;
        }
        if (strcmp(id, "layout") == 0) {
            if (snd_config_get_string(n, &layout) < 0)
                return -EINVAL;
            continue;
        }
        return -EINVAL;
    }
    if (!state || strlen(state) >= sizeof card->state)
        return -EINVAL;
    if (strcmp(layout, "server") == 0) {
        controls = server_layout;
        count = sizeof server_layout / sizeof server_layout[0];
    } else if (strcmp(layout, "full") != 0) {
        return -EINVAL;
    }

    card = calloc(1, sizeof *card);
    if (!card)
        return -ENOMEM;
    strcpy(card->state, state);
    card->count = count;
    memcpy(card->controls, controls, count * sizeof controls[0]);
    load_state(card);

    card->ext.version = SND_CTL_EXT_VERSION;
    card->ext.card_idx = 0;
    strcpy(card->ext.id, "TDFake");
    strcpy(card->ext.driver, "tdfake");
    strcpy(card->ext.name, "Tonedeck Test Card");
    strcpy(card->ext.longname, "Tonedeck Test Card (fake controls)");
    strcpy(card->ext.mixername, "Tonedeck Test Mixer");
    {
        char folder[sizeof card->state];
        strcpy(folder, card->state);
        card->watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (card->watch >= 0 &&
            inotify_add_watch(card->watch, dirname(folder), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
            close(card->watch);
            card->watch = -1;
        }
    }
    card->ext.poll_fd = card->watch;
    card->ext.callback = &fake_callback;
    card->ext.tlv.c = fake_tlv;
    card->ext.private_data = card;

    err = snd_ctl_ext_create(&card->ext, name, mode);
    if (err < 0) {
        if (card->watch >= 0)
            close(card->watch);
        free(card);
        return err;
    }
    *handlep = card->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(tdfake);
