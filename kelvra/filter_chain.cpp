#include "filter_chain.h"

namespace kelvra {

FilterChain::~FilterChain() {
    clear();
}

void FilterChain::clear() {
    for (auto &node : nodes_)
        if (node->module != nullptr && node->chain.instance != nullptr)
            node->module->descriptor.delete_instance(node->chain.instance);
    nodes_.clear();
}

std::vector<void *> FilterChain::instances() const {
    std::vector<void *> out;
    for (const auto &node : nodes_)
        if (node->module != nullptr)
            out.push_back(node->chain.instance);
    return out;
}

void FilterChain::build(const std::vector<FilterEntry> &filters, kv_host_interface *host,
                        Sink *sink, std::vector<std::string> &failed) {
    clear();
    for (const FilterEntry &entry : filters) {
        auto node = std::make_unique<Node>();
        node->module = entry.module.get();
        void *instance = nullptr;
        if (entry.module->descriptor.new_instance(&instance, nullptr, host) != KV_MODULE_OK ||
            instance == nullptr) {
            failed.push_back(entry.location);
            continue;
        }
        node->chain.instance = instance;
        nodes_.push_back(std::move(node));
    }
    auto last = std::make_unique<Node>();
    last->sink = sink;
    nodes_.push_back(std::move(last));
    for (size_t i = 0; i + 1 < nodes_.size(); ++i) {
        kv_output_chain &chain = nodes_[i]->chain;
        chain.next = nodes_[i + 1].get();
        chain.next_write = &nodeWrite;
        chain.next_get_buffer = &nodeGetBuffer;
        chain.next_control = &nodeControl;
    }
}

int32_t FilterChain::nodeWrite(void *next, const void *samples, uint32_t size, uint32_t width,
                               uint32_t channels, uint32_t rate) {
    auto *node = static_cast<Node *>(next);
    if (node == nullptr || samples == nullptr)
        return KV_MODULE_UNSUPPORTED;
    if (node->module != nullptr)
        return node->module->descriptor.write(&node->chain, samples, size, width, channels, rate);
    if (node->sink == nullptr)
        return KV_MODULE_OK;
    return node->sink->write(static_cast<const int16_t *>(samples), size, channels, rate);
}

void *FilterChain::nodeGetBuffer(void *next, uint32_t size) {
    auto *node = static_cast<Node *>(next);
    if (node == nullptr)
        return nullptr;
    node->buffer.resize((static_cast<size_t>(size) + 1) / 2);
    return node->buffer.data();
}

int32_t FilterChain::nodeControl(void *next, kv_output_format *format, uint32_t flags) {
    auto *node = static_cast<Node *>(next);
    if (node == nullptr)
        return KV_MODULE_OK;
    if (node->module != nullptr) {
        if (node->module->descriptor.control != nullptr)
            return node->module->descriptor.control(&node->chain, format, flags);
        // A stage without a control function passes the call on unchanged.
        return node->chain.next != nullptr ? nodeControl(node->chain.next, format, flags)
                                           : KV_MODULE_OK;
    }
    return node->sink != nullptr ? node->sink->control(format, flags) : KV_MODULE_OK;
}

int32_t FilterChain::write(const int16_t *samples, uint32_t bytes, uint32_t channels,
                           uint32_t rate) {
    if (nodes_.empty())
        return KV_MODULE_OK;
    return nodeWrite(nodes_.front().get(), samples, bytes, 2, channels, rate);
}

int32_t FilterChain::control(kv_output_format *format, uint32_t flags) {
    if (nodes_.empty())
        return KV_MODULE_OK;
    return nodeControl(nodes_.front().get(), format, flags);
}

} // namespace kelvra
