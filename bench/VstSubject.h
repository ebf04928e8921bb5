// A VST 2 plug-in as a timing subject: one instance through the host kit with
// buffers for as many channels as it has, processReplacing on the same noise.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostKit.h"
#include "TimingTable.h"

namespace timing {

class VstSubject : public Subject {
public:
    VstSubject(const std::string& path, int block) : Subject(block) {
        std::string error;
        library_ = hostkit::Library::open(path, &error);
        if (!library_) throw std::runtime_error(error);
        plugin_ = hostkit::Plugin::create(*library_, host_, &error);
        if (!plugin_) throw std::runtime_error(path + ": " + error);
        plugin_->dispatch(effOpen);
        name_ = plugin_->effectName();
        if (name_.empty()) name_ = path.substr(path.find_last_of('/') + 1);
        const AEffect* e = plugin_->effect();
        const int channels = std::max({2, e->numInputs, e->numOutputs});
        noise_ = noise(static_cast<size_t>(channels));
        out_.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(block)));
        in_.resize(static_cast<size_t>(channels));
        outPtr_.resize(static_cast<size_t>(channels));
        for (int c = 0; c < channels; ++c) outPtr_[c] = out_[c].data();
        plugin_->prepare(kRate, block);
    }

    const std::string& name() const override { return name_; }
    void rename(std::string name) { name_ = std::move(name); }
    void setKnob(int index, float position) { plugin_->setParameter(index, position); }

private:
    void step() override {
        if (position_ + block_ > noise_[0].size()) position_ = 0;
        for (size_t c = 0; c < noise_.size(); ++c) in_[c] = noise_[c].data() + position_;
        position_ += static_cast<size_t>(block_);
        AEffect* e = plugin_->effect();
        e->processReplacing(e, in_.data(), outPtr_.data(), block_);
    }

    hostkit::Host host_;
    std::unique_ptr<hostkit::Library> library_;
    std::unique_ptr<hostkit::Plugin> plugin_;
    std::string name_;
    std::vector<std::vector<float>> noise_, out_;
    std::vector<float*> in_, outPtr_;
    size_t position_ = 0;
};

}  // namespace timing
