#include "input_file_entry.h"

#include "mix/mix_error.h"

namespace {

InputFileEntry* streaming = nullptr;

}  // namespace

InputFileEntry::~InputFileEntry() {
    if (streaming == this) streaming = nullptr;
}

Stream* InputFileEntry::GetStream() {
    if (streaming != nullptr && streaming != this) {
        streaming->stream_.reset();
        streaming->file_.reset();
    }
    streaming = this;
    if (!stream_) {
        UniqueFile file = OpenFile(path_, "rb");
        if (!file) throw MixIoError(path_, "cannot open for reading: " + LastErrorText());
        file_.emplace(std::move(file), path_);
        stream_.emplace(&*file_, 0, size);
    }
    stream_->Rewind();
    return &*stream_;
}
