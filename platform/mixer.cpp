#include "platform/mixer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/message.h"
#include "platform/mixer_alsa.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"

// ---- the card description ----

MixerCardLine& MixerCard::AddDestination(DWORD componentType, DWORD channels,
                                         const QString& shortName, const QString& name) {
    MixerCardLine line;
    line.id = 0xFFFF0000u | static_cast<DWORD>(destinations.size());
    line.componentType = componentType;
    line.channels = channels;
    line.shortName = shortName;
    line.name = name;
    destinations.push_back(std::move(line));
    return destinations.back();
}

MixerCardLine& MixerCard::AddSource(std::size_t destination, DWORD componentType, DWORD channels,
                                    const QString& shortName, const QString& name) {
    MixerCardLine& dest = destinations.at(destination);
    MixerCardLine line;
    line.id = static_cast<DWORD>(dest.sources.size() + 1) << 16 | static_cast<DWORD>(destination);
    line.componentType = componentType;
    line.channels = channels;
    line.shortName = shortName;
    line.name = name;
    dest.sources.push_back(std::move(line));
    return dest.sources.back();
}

MixerCardControl& MixerCard::AddControl(MixerCardLine& line, DWORD type, DWORD channels,
                                        const QString& shortName, const QString& name) {
    MixerCardControl control;
    control.id = nextControlId_++;
    control.type = type;
    control.channels = channels;
    control.shortName = shortName;
    control.name = name;
    switch (type & MIXERCONTROL_CT_CLASS_MASK) {
        case MIXERCONTROL_CT_CLASS_METER:
            control.minimum = -32768;
            control.maximum = 32767;
            break;
        case MIXERCONTROL_CT_CLASS_SWITCH:
        case MIXERCONTROL_CT_CLASS_LIST:
            control.minimum = 0;
            control.maximum = 1;
            control.steps = 2;
            break;
        default:
            control.steps = 0x10000;
            break;
    }
    line.controls.push_back(std::move(control));
    return line.controls.back();
}

const MixerCardLine* MixerCard::FindLine(DWORD lineId) const {
    for (const MixerCardLine& dest : destinations) {
        if (dest.id == lineId)
            return &dest;
        for (const MixerCardLine& source : dest.sources)
            if (source.id == lineId)
                return &source;
    }
    return nullptr;
}

const MixerCardControl* MixerCard::FindControl(DWORD controlId, const MixerCardLine** owner) const {
    auto inLine = [&](const MixerCardLine& line) -> const MixerCardControl* {
        for (const MixerCardControl& c : line.controls) {
            if (c.id != controlId)
                continue;
            if (owner)
                *owner = &line;
            return &c;
        }
        return nullptr;
    };
    for (const MixerCardLine& dest : destinations) {
        if (const MixerCardControl* c = inLine(dest))
            return c;
        for (const MixerCardLine& source : dest.sources)
            if (const MixerCardControl* c = inLine(source))
                return c;
    }
    return nullptr;
}

// ---- device 0 and its handles ----

struct MixerHandle {
    quint64 generation;
    QPointer<QObject> window;
};

namespace {

std::mutex gLock;
std::unique_ptr<MixerCard> gCard;
MixerBackend gBackend = MixerBackend::None;
bool gChosen = false;
quint64 gGeneration = 1;
std::set<MixerHandle*> gHandles;

// A name into a fixed text field: cut to fit with its NUL, never inside a character.
void CopyName(char* field, std::size_t size, const QString& text) {
    QByteArray bytes = text.toUtf8();
    std::size_t n = std::min<std::size_t>(bytes.size(), size - 1);
    while (n > 0 && n < static_cast<std::size_t>(bytes.size()) &&
           (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
        --n;
    std::memset(field, 0, size);
    std::memcpy(field, bytes.constData(), n);
}

// Chooses the backend once per process (or after ResetMixerDevices). Called locked.
void ChooseLocked() {
    if (gChosen)
        return;
    gChosen = true;
    const QByteArray wanted = qgetenv("TONEDECK_AUDIO").trimmed().toLower();
    if (wanted == "virtual") {
        gCard = MakeVirtualMixerCardFromEnvironment();
        gBackend = MixerBackend::Virtual;
        return;
    }
    QString why;
    gCard = OpenAlsaMixerCard(AlsaMixerDeviceName(), &why);
    if (gCard) {
        gBackend = MixerBackend::Alsa;
        return;
    }
    if (wanted == "alsa") {
        gBackend = MixerBackend::None;
        std::fprintf(stderr, "tonedeck: no ALSA mixer could be opened (%s)\n",
                     why.toLocal8Bit().constData());
        return;
    }
    gCard = MakeVirtualMixerCardFromEnvironment();
    gBackend = MixerBackend::Virtual;
    std::fprintf(stderr, "tonedeck: no ALSA mixer could be opened (%s); using the virtual mixer\n",
                 why.toLocal8Bit().constData());
}

MixerCard* CardLocked(UINT device) {
    ChooseLocked();
    return device == 0 ? gCard.get() : nullptr;
}

// The card behind a handle, or null when the handle is unknown or outdated.
MixerCard* CardOf(HMIXER mixer) {
    if (!mixer || !gHandles.count(mixer) || mixer->generation != gGeneration)
        return nullptr;
    return gCard.get();
}

void FillLine(const MixerCard& card, const MixerCardLine& line, DWORD destination, DWORD source,
              bool isSource, MIXERLINE* out) {
    const DWORD size = out->cbStruct;
    std::memset(out, 0, sizeof(MIXERLINE));
    out->cbStruct = size;
    out->dwDestination = destination;
    out->dwSource = isSource ? source : 0;
    out->dwLineID = line.id;
    out->fdwLine = MIXERLINE_LINEF_ACTIVE | (isSource ? MIXERLINE_LINEF_SOURCE : 0);
    out->dwComponentType = line.componentType;
    out->cChannels = line.channels;
    out->cConnections = isSource ? 0 : static_cast<DWORD>(line.sources.size());
    out->cControls = static_cast<DWORD>(line.controls.size());
    CopyName(out->szShortName, sizeof out->szShortName, line.shortName);
    CopyName(out->szName, sizeof out->szName, line.name);
    out->Target.vDriverVersion = card.driverVersion;
    CopyName(out->Target.szPname, sizeof out->Target.szPname, card.productName);
}

void FillControl(const MixerCardControl& control, MIXERCONTROL* out) {
    std::memset(out, 0, sizeof(MIXERCONTROL));
    out->cbStruct = sizeof(MIXERCONTROL);
    out->dwControlID = control.id;
    out->dwControlType = control.type;
    if (control.isList())
        out->fdwControl = MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM;
    else if (control.channels == 1)
        out->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
    out->cMultipleItems = static_cast<DWORD>(control.itemLines.size());
    CopyName(out->szShortName, sizeof out->szShortName, control.shortName);
    CopyName(out->szName, sizeof out->szName, control.name);
    out->Bounds.lMinimum = control.minimum;
    out->Bounds.lMaximum = control.maximum;
    out->Metrics.cSteps = control.steps;
}

// Checks a details request against the control; the number of values it carries.
MMRESULT CheckDetails(const MixerCardControl& control, const MIXERCONTROLDETAILS* d,
                      std::size_t detailSize, std::size_t* count) {
    if (!d->paDetails || d->cbDetails != detailSize)
        return MMSYSERR_INVALPARAM;
    if (control.isList()) {
        if (d->cChannels != 1 || d->cMultipleItems != control.itemLines.size())
            return MMSYSERR_INVALPARAM;
        *count = control.itemLines.size();
        return MMSYSERR_NOERROR;
    }
    if (d->cMultipleItems != 0 || d->cChannels < 1 || d->cChannels > 2)
        return MMSYSERR_INVALPARAM;
    *count = d->cChannels;
    return MMSYSERR_NOERROR;
}

void NotifyControlChange(DWORD controlId) {
    for (MixerHandle* h : gHandles)
        if (h->generation == gGeneration && h->window)
            PostMessage(h->window, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(h),
                        static_cast<LPARAM>(controlId));
}

// Watches the card for changes other programs make (alsamixer, the desktop's sound
// settings, media keys, another Tonedeck tool) and tells every open handle's window, so
// nobody has to poll. Lives on the thread of the window that asked for notifications.
class MixerWatcher : public QObject {
public:
    explicit MixerWatcher(MixerCard* card) : card_(card) {
        for (int fd : card->ChangeDescriptors()) {
            auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            QObject::connect(notifier, &QSocketNotifier::activated, this, [this] { Stirred(); });
        }
        std::vector<QString> files = card->ChangeFiles();
        if (!files.empty()) {
            files_ = new QFileSystemWatcher(this);
            for (const QString& file : files) {
                // A file replaced by renaming another over it is a new file: its folder is
                // watched too, and the file taken up again.
                watched_ << file;
                files_->addPath(QFileInfo(file).absolutePath());
                if (QFileInfo::exists(file))
                    files_->addPath(file);
            }
            QObject::connect(files_, &QFileSystemWatcher::fileChanged, this, [this] { Stirred(); });
            QObject::connect(files_, &QFileSystemWatcher::directoryChanged, this,
                             [this] { Stirred(); });
        }
    }
    MixerCard* card() const { return card_; }

private:
    void Stirred();

    MixerCard* card_;
    QFileSystemWatcher* files_ = nullptr;
    QStringList watched_;
};

MixerWatcher* gWatcher = nullptr;

void NotifyControlChanges(const std::vector<DWORD>& ids) {
    for (DWORD id : ids)
        NotifyControlChange(id);
}

void MixerWatcher::Stirred() {
    std::lock_guard lock(gLock);
    if (gCard.get() != card_)
        return;  // the card was replaced; its watcher goes with it
    if (files_)
        for (const QString& file : watched_)
            if (!files_->files().contains(file) && QFileInfo::exists(file))
                files_->addPath(file);
    NotifyControlChanges(card_->TakeChanges());
}

// Starts watching the card for the handle's window, once per card. Called locked.
void WatchCardLocked(QObject* window) {
    if (!gCard || !window || (gWatcher && gWatcher->card() == gCard.get()))
        return;
    // Notifiers work only on the thread they were made on, which must run an event loop.
    if (!QCoreApplication::instance() || window->thread() != QThread::currentThread())
        return;
    delete gWatcher;
    gWatcher = new MixerWatcher(gCard.get());
}

// The watcher of a card that goes away goes first. Called locked.
void ForgetWatcherLocked() {
    if (!gWatcher)
        return;
    if (gWatcher->thread() == QThread::currentThread())
        delete gWatcher;
    else
        gWatcher->deleteLater();
    gWatcher = nullptr;
}

}  // namespace

UINT MixerGetNumDevs() {
    std::lock_guard lock(gLock);
    return CardLocked(0) ? 1 : 0;
}

MMRESULT MixerGetDevCaps(UINT device, MIXERCAPS* caps, UINT size) {
    std::lock_guard lock(gLock);
    const MixerCard* card = CardLocked(device);
    if (!card)
        return MMSYSERR_BADDEVICEID;
    if (!caps || size < sizeof(MIXERCAPS))
        return MMSYSERR_INVALPARAM;
    std::memset(caps, 0, sizeof(MIXERCAPS));
    caps->vDriverVersion = card->driverVersion;
    CopyName(caps->szPname, sizeof caps->szPname, card->productName);
    caps->cDestinations = static_cast<DWORD>(card->destinations.size());
    return MMSYSERR_NOERROR;
}

MMRESULT MixerOpen(HMIXER* mixer, UINT device, QObject* window, DWORD fdwOpen) {
    if (!mixer)
        return MMSYSERR_INVALPARAM;
    *mixer = nullptr;
    if (fdwOpen != CALLBACK_NULL && fdwOpen != CALLBACK_WINDOW)
        return MMSYSERR_INVALFLAG;
    if (fdwOpen == CALLBACK_WINDOW && !window)
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(gLock);
    if (!CardLocked(device))
        return MMSYSERR_BADDEVICEID;
    auto* handle = new MixerHandle{gGeneration, fdwOpen == CALLBACK_WINDOW ? window : nullptr};
    gHandles.insert(handle);
    if (fdwOpen == CALLBACK_WINDOW)
        WatchCardLocked(window);
    *mixer = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT MixerClose(HMIXER mixer) {
    std::lock_guard lock(gLock);
    if (!mixer || !gHandles.erase(mixer))
        return MMSYSERR_INVALHANDLE;
    delete mixer;
    return MMSYSERR_NOERROR;
}

MMRESULT MixerGetLineInfo(HMIXER mixer, MIXERLINE* line, DWORD fdwInfo) {
    std::lock_guard lock(gLock);
    const MixerCard* card = CardOf(mixer);
    if (!card)
        return MMSYSERR_INVALHANDLE;
    if (!line || line->cbStruct < sizeof(MIXERLINE))
        return MMSYSERR_INVALPARAM;
    const auto& dests = card->destinations;
    switch (fdwInfo) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (line->dwDestination >= dests.size())
                return MIXERR_INVALLINE;
            FillLine(*card, dests[line->dwDestination], line->dwDestination, 0, false, line);
            return MMSYSERR_NOERROR;
        case MIXER_GETLINEINFOF_SOURCE: {
            if (line->dwDestination >= dests.size())
                return MIXERR_INVALLINE;
            const auto& sources = dests[line->dwDestination].sources;
            if (line->dwSource >= sources.size())
                return MIXERR_INVALLINE;
            FillLine(*card, sources[line->dwSource], line->dwDestination, line->dwSource, true,
                     line);
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETLINEINFOF_LINEID:
        case MIXER_GETLINEINFOF_COMPONENTTYPE: {
            const bool byId = fdwInfo == MIXER_GETLINEINFOF_LINEID;
            auto matches = [&](const MixerCardLine& l) {
                return byId ? l.id == line->dwLineID : l.componentType == line->dwComponentType;
            };
            for (DWORD d = 0; d < dests.size(); ++d) {
                if (matches(dests[d])) {
                    FillLine(*card, dests[d], d, 0, false, line);
                    return MMSYSERR_NOERROR;
                }
            }
            for (DWORD d = 0; d < dests.size(); ++d) {
                for (DWORD s = 0; s < dests[d].sources.size(); ++s) {
                    if (!matches(dests[d].sources[s]))
                        continue;
                    FillLine(*card, dests[d].sources[s], d, s, true, line);
                    return MMSYSERR_NOERROR;
                }
            }
            return MIXERR_INVALLINE;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
}

MMRESULT MixerGetLineControls(HMIXER mixer, MIXERLINECONTROLS* controls, DWORD fdwControls) {
    std::lock_guard lock(gLock);
    const MixerCard* card = CardOf(mixer);
    if (!card)
        return MMSYSERR_INVALHANDLE;
    if (!controls || controls->cbStruct < sizeof(MIXERLINECONTROLS) || !controls->pamxctrl ||
        controls->cbmxctrl < sizeof(MIXERCONTROL) || controls->cControls < 1)
        return MMSYSERR_INVALPARAM;
    switch (fdwControls) {
        case MIXER_GETLINECONTROLSF_ALL: {
            const MixerCardLine* line = card->FindLine(controls->dwLineID);
            if (!line)
                return MIXERR_INVALLINE;
            if (controls->cControls != line->controls.size())
                return MMSYSERR_INVALPARAM;
            auto* out = reinterpret_cast<unsigned char*>(controls->pamxctrl);
            for (const MixerCardControl& c : line->controls) {
                FillControl(c, reinterpret_cast<MIXERCONTROL*>(out));
                out += controls->cbmxctrl;
            }
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETLINECONTROLSF_ONEBYID: {
            const MixerCardLine* owner = nullptr;
            const MixerCardControl* c = card->FindControl(controls->dwControl, &owner);
            if (!c)
                return MIXERR_INVALCONTROL;
            controls->dwLineID = owner->id;
            FillControl(*c, controls->pamxctrl);
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETLINECONTROLSF_ONEBYTYPE: {
            const MixerCardLine* line = card->FindLine(controls->dwLineID);
            if (!line)
                return MIXERR_INVALLINE;
            for (const MixerCardControl& c : line->controls) {
                if (c.type != controls->dwControl)
                    continue;
                FillControl(c, controls->pamxctrl);
                return MMSYSERR_NOERROR;
            }
            return MIXERR_INVALCONTROL;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
}

MMRESULT MixerGetControlDetails(HMIXER mixer, MIXERCONTROLDETAILS* details, DWORD fdwDetails) {
    std::lock_guard lock(gLock);
    MixerCard* card = CardOf(mixer);
    if (!card)
        return MMSYSERR_INVALHANDLE;
    if (!details || details->cbStruct < sizeof(MIXERCONTROLDETAILS))
        return MMSYSERR_INVALPARAM;
    const MixerCardControl* control = card->FindControl(details->dwControlID);
    if (!control)
        return MIXERR_INVALCONTROL;
    std::size_t count = 0;
    if (fdwDetails == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        if (!control->isList())
            return MMSYSERR_INVALPARAM;
        const MMRESULT r =
            CheckDetails(*control, details, sizeof(MIXERCONTROLDETAILS_LISTTEXT), &count);
        if (r != MMSYSERR_NOERROR)
            return r;
        auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXT*>(details->paDetails);
        for (std::size_t i = 0; i < count; ++i) {
            std::memset(&out[i], 0, sizeof out[i]);
            out[i].dwParam1 = control->itemLines[i];
            out[i].dwParam2 = control->itemTypes[i];
            CopyName(out[i].szName, sizeof out[i].szName, control->itemNames[i]);
        }
        return MMSYSERR_NOERROR;
    }
    if (fdwDetails != MIXER_GETCONTROLDETAILSF_VALUE)
        return MMSYSERR_INVALFLAG;
    const MMRESULT r = CheckDetails(*control, details, sizeof(DWORD), &count);
    if (r != MMSYSERR_NOERROR)
        return r;
    std::vector<int32_t> values(control->valueCount(), 0);
    if (!card->ReadControl(*control, values) || values.size() != control->valueCount())
        return MMSYSERR_ERROR;
    auto* out = static_cast<int32_t*>(details->paDetails);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = values[std::min(i, values.size() - 1)];  // a mono control answers alike
    // Changes of other programs this read took in are news for the other windows too.
    NotifyControlChanges(card->ChangesSeen());
    return MMSYSERR_NOERROR;
}

MMRESULT MixerSetControlDetails(HMIXER mixer, const MIXERCONTROLDETAILS* details,
                                DWORD fdwDetails) {
    std::lock_guard lock(gLock);
    MixerCard* card = CardOf(mixer);
    if (!card)
        return MMSYSERR_INVALHANDLE;
    if (!details || details->cbStruct < sizeof(MIXERCONTROLDETAILS))
        return MMSYSERR_INVALPARAM;
    if (fdwDetails != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMSYSERR_INVALFLAG;
    const MixerCardControl* control = card->FindControl(details->dwControlID);
    if (!control)
        return MIXERR_INVALCONTROL;
    if ((control->type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_METER)
        return MMSYSERR_NOTSUPPORTED;
    std::size_t count = 0;
    const MMRESULT r = CheckDetails(*control, details, sizeof(DWORD), &count);
    if (r != MMSYSERR_NOERROR)
        return r;

    const bool isSwitch =
        (control->type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_SWITCH ||
        control->isList();
    const auto* in = static_cast<const int32_t*>(details->paDetails);
    std::vector<int64_t> given;
    for (std::size_t i = 0; i < count; ++i) {
        int64_t v = isSwitch                ? (in[i] != 0)
                    : control->minimum >= 0 ? static_cast<int64_t>(static_cast<uint32_t>(in[i]))
                                            : in[i];
        if (v < control->minimum || v > control->maximum)
            return MIXERR_INVALVALUE;
        given.push_back(v);
    }
    std::vector<int32_t> values(control->valueCount());
    if (control->isList() || given.size() == values.size()) {
        std::copy(given.begin(), given.end(), values.begin());
    } else if (given.size() == 1) {
        std::fill(values.begin(), values.end(), static_cast<int32_t>(given[0]));
    } else {
        // Two channels for a one-channel control: the louder one stands for both.
        values[0] = static_cast<int32_t>(*std::max_element(given.begin(), given.end()));
    }
    if (!card->WriteControl(*control, values))
        return MMSYSERR_ERROR;
    NotifyControlChange(control->id);
    return MMSYSERR_NOERROR;
}

MixerBackend ChosenMixerBackend() {
    std::lock_guard lock(gLock);
    ChooseLocked();
    return gBackend;
}

const char* MixerBackendName(MixerBackend backend) {
    switch (backend) {
        case MixerBackend::Alsa:
            return "alsa";
        case MixerBackend::Virtual:
            return "virtual";
        case MixerBackend::None:
            break;
    }
    return "none";
}

void InstallMixerCard(std::unique_ptr<MixerCard> card, MixerBackend backend) {
    std::lock_guard lock(gLock);
    ForgetWatcherLocked();
    gCard = std::move(card);
    gBackend = backend;
    gChosen = true;
    ++gGeneration;
}

void ResetMixerDevices() {
    std::lock_guard lock(gLock);
    ForgetWatcherLocked();
    gCard.reset();
    gBackend = MixerBackend::None;
    gChosen = false;
    ++gGeneration;
}
