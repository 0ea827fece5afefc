#include "session/TransferBuffer.h"

#include <algorithm>
#include <cstring>

void TransferBuffer::reset(int capacity) {
    capacity_ = std::max(capacity, 0);
    storage_ = QByteArray(capacity_, Qt::Uninitialized);
    clear();
}

int TransferBuffer::append(const char* data, int size) {
    const int stored = std::clamp(size, 0, room());
    const int tail = (head_ + count_) % std::max(capacity_, 1);
    const int first = std::min(stored, capacity_ - tail);
    std::memcpy(storage_.data() + tail, data, size_t(first));
    std::memcpy(storage_.data(), data + first, size_t(stored - first));
    count_ += stored;
    return stored;
}

QByteArray TransferBuffer::peek(int size) const {
    const int n = std::clamp(size, 0, count_);
    QByteArray out(n, Qt::Uninitialized);
    const int first = std::min(n, capacity_ - head_);
    std::memcpy(out.data(), storage_.constData() + head_, size_t(first));
    std::memcpy(out.data() + first, storage_.constData(), size_t(n - first));
    return out;
}

QByteArray TransferBuffer::frontSpan() const {
    return QByteArray::fromRawData(storage_.constData() + head_,
                                   std::min(count_, capacity_ - head_));
}

void TransferBuffer::discard(int size) {
    const int n = std::clamp(size, 0, count_);
    count_ -= n;
    head_ = count_ == 0 ? 0 : (head_ + n) % capacity_;
}

QByteArray TransferBuffer::take(int& numBytes) {
    if (numBytes == 0)
        return {};
    if (numBytes < 0 || numBytes > count_)
        numBytes = count_;
    QByteArray out = peek(numBytes);
    discard(numBytes);
    return out;
}
