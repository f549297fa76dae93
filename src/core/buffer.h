#pragma once

namespace updater {

// An owned block of raw bytes with an explicit size; also serves as a growable array of
// fixed-size entries. Every change allocates a block of exactly the new size. A failed
// allocation leaves the Buffer empty and is reported only by Alloc, Set and Cat.
class Buffer {
  public:
    Buffer();
    Buffer(const Buffer& b);
    virtual ~Buffer();

    virtual void Init();
    virtual void Free();
    virtual bool Alloc(unsigned size);
    virtual bool Set(const void* src, unsigned n);
    virtual bool Cat(const void* src, unsigned n);
    virtual const unsigned char* GetData() const;
    virtual unsigned char* GetData();
    virtual Buffer& Assign(const Buffer& b);
    virtual Buffer& Append(const Buffer& b);
    virtual Buffer Concat(const Buffer& b) const;
    // True when the first b.size bytes agree; the own size is not compared.
    virtual bool Equals(const Buffer& b) const;
    virtual bool Differs(const Buffer& b) const;
    virtual Buffer Sub(unsigned pos, unsigned n) const;
    virtual void Delete(unsigned pos, unsigned n);

    Buffer& operator=(const Buffer& b) { return Assign(b); }

    unsigned char* data;
    unsigned size;
};

}  // namespace updater
