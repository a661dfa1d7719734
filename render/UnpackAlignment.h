#pragma once

// Pixel rows handed to GL are read unpadded (an unpack alignment of 1) while
// this object lives; the alignment found before is put back when it goes,
// however the scope ends.
class UnpackAlignment {
  public:
    UnpackAlignment();
    ~UnpackAlignment();
    UnpackAlignment(const UnpackAlignment&) = delete;
    UnpackAlignment& operator=(const UnpackAlignment&) = delete;

  private:
    // the alignment to put back, bytes
    int previous;
};
