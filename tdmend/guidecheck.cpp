// Walks a guide database the way the guide runs it, and lists what would go wrong.
#include "tdmend/guidecheck.h"

#include <map>
#include <vector>

#include "tdmend/guideaction.h"

namespace {

constexpr uint32_t kShowTopics = 1u << 4;

void AddSoundExits(const QByteArray& action, std::set<int32_t>& exits) {
    const GuideAction a = ParseGuideAction(action);
    if (a.kind == GuideAction::Kind::Play) {
        switch (a.sound) {
            case GuideAction::Sound::Wave:
            case GuideAction::Sound::Memory:
                exits.insert(kGuideWaveProblemFrame);
                break;
            case GuideAction::Sound::Midi:
                exits.insert(kGuideMidiProblemFrame);
                break;
            case GuideAction::Sound::Cd:
                exits.insert(kGuideCdProblemFrame);
                break;
            case GuideAction::Sound::None:
                break;
        }
    } else if (a.kind == GuideAction::Kind::Record) {
        exits.insert(kGuideRecordProblemFrame);
    }
    for (int32_t f : GuideActionFrames(action))
        exits.insert(f);
}

template <typename T>
void ReportDuplicates(const std::vector<T>& records, const char* what, QStringList& faults) {
    std::map<int32_t, int> seen;
    for (const T& r : records)
        if (++seen[r.identifier] == 2)
            faults << QStringLiteral("%1 %2 is defined more than once")
                          .arg(QLatin1String(what))
                          .arg(r.identifier);
}

}  // namespace

std::set<int32_t> GuideFrameExits(const CFixitGuideDatabase& db, const CFrame& frame) {
    std::set<int32_t> exits;
    for (const QByteArray* action : {&frame.yesAction, &frame.noAction, &frame.nextAction})
        for (int32_t f : GuideActionFrames(*action))
            exits.insert(f);
    if (frame.prompt == -1)
        exits.insert(kGuideAudioProblemFrame);
    if (const CControlConfig* c = db.FindControlConfig(frame.controlConfig)) {
        if (c->showFlags & kShowTopics)
            exits.insert(std::begin(kGuideTopicFrames), std::end(kGuideTopicFrames));
        AddSoundExits(c->playAction, exits);
        AddSoundExits(c->recordAction, exits);
    }
    return exits;
}

std::set<int32_t> GuideReachableFrames(const CFixitGuideDatabase& db) {
    std::set<int32_t> reached;
    std::vector<int32_t> todo{CFixitGuideDatabase::kFirstFrame};
    while (!todo.empty()) {
        const int32_t id = todo.back();
        todo.pop_back();
        const CFrame* frame = db.FindFrame(id);
        if (!frame || !reached.insert(id).second)
            continue;
        for (int32_t next : GuideFrameExits(db, *frame))
            if (!reached.count(next))
                todo.push_back(next);
    }
    return reached;
}

QStringList CheckGuide(const CFixitGuideDatabase& db) {
    QStringList faults;
    ReportDuplicates(db.prompts, "prompt", faults);
    ReportDuplicates(db.frames, "frame", faults);
    ReportDuplicates(db.controls, "control configuration", faults);
    if (!db.FindFrame(CFixitGuideDatabase::kFirstFrame))
        faults << QStringLiteral("there is no frame 1 to start from");
    for (const CPrompt& p : db.prompts)
        if (p.identifier < 1)
            faults << QStringLiteral(
                          "prompt %1 can never be shown: frames read numbers below "
                          "1 as tests")
                          .arg(p.identifier);

    const std::set<int32_t> reached = GuideReachableFrames(db);
    for (const CFrame& f : db.frames) {
        if (!reached.count(f.identifier))
            faults << QStringLiteral("frame %1 cannot be reached from frame 1").arg(f.identifier);
        if (f.prompt >= 1 && !db.FindPrompt(f.prompt))
            faults << QStringLiteral("frame %1 names prompt %2, which does not exist")
                          .arg(f.identifier)
                          .arg(f.prompt);
        if (f.prompt < -6)
            faults << QStringLiteral("frame %1 names test %2, which does not exist")
                          .arg(f.identifier)
                          .arg(f.prompt);
        if (!db.FindControlConfig(f.controlConfig))
            faults << QStringLiteral(
                          "frame %1 names control configuration %2, which does not exist")
                          .arg(f.identifier)
                          .arg(f.controlConfig);
        for (const QByteArray* action : {&f.yesAction, &f.noAction, &f.nextAction})
            for (int32_t target : GuideActionFrames(*action))
                if (!db.FindFrame(target))
                    faults << QStringLiteral(
                                  "frame %1: \"%2\" leads to frame %3, which does not "
                                  "exist")
                                  .arg(f.identifier)
                                  .arg(QString::fromLatin1(*action))
                                  .arg(target);
    }
    for (const CControlConfig& c : db.controls)
        for (const QByteArray* action : {&c.playAction, &c.recordAction}) {
            std::set<int32_t> exits;
            AddSoundExits(*action, exits);
            for (int32_t target : exits)
                if (!db.FindFrame(target))
                    faults << QStringLiteral(
                                  "control configuration %1: \"%2\" leads to frame "
                                  "%3, which does not exist")
                                  .arg(c.identifier)
                                  .arg(QString::fromLatin1(*action))
                                  .arg(target);
        }
    return faults;
}
