// The codec layer's side of the codec module: the pipelines are made by libtdcodec.so,
// loaded the first time a stream is opened and held for the life of the process (the
// pipelines' code lives in it).
#include "platform/codec_engine.h"

#ifndef TD_CODECS_LINKED
#include "platform/library.h"
#endif

#ifdef TD_CODECS_LINKED
// Built with the module's code linked in (the fuzzer): the entry point is called directly.
extern "C" codec_engine::Pipeline* TdCreatePipeline(const WAVEFORMATEX* src,
                                                    const WAVEFORMATEX* dst, QString* why);
#endif

namespace codec_engine {

namespace {

TdCreatePipelineFn ModuleEntry() {
#ifdef TD_CODECS_LINKED
    return &TdCreatePipeline;
#else
    // Loaded at the first conversion and held for the life of the process: a sound still
    // decoding on a worker thread at exit runs the module's code, and its libraries' tables
    // must stay where their pointers point.
    static SharedLibrary* const library = new SharedLibrary;
    static const TdCreatePipelineFn entry = [] {
        if (!library->Load(QString::fromLatin1(kCodecModuleName)))
            return TdCreatePipelineFn(nullptr);
        return reinterpret_cast<TdCreatePipelineFn>(library->Resolve("TdCreatePipeline"));
    }();
    return entry;
#endif
}

}  // namespace

bool HaveTrueSpeechEncoder() {
    return true;
}

std::unique_ptr<Pipeline> Pipeline::Create(const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                                           QString* why) {
    const TdCreatePipelineFn create = ModuleEntry();
    if (!create) {
        *why = QStringLiteral("the codec module %1 cannot be loaded")
                   .arg(QString::fromLatin1(kCodecModuleName));
        return nullptr;
    }
    return std::unique_ptr<Pipeline>(create(src, dst, why));
}

}  // namespace codec_engine
