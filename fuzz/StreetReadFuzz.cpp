// libFuzzer harness: any bytes as a street snapshot from a server, through
// the reader a joining machine uses. A street the reader takes must be
// written back to the same bytes: reader and writer agree on every field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "net/StreetSnapshot.h"

namespace {

// A street whose pictures are told apart, as a loaded one's are, by numbers
// of their own in place of GL's display lists; and a set clock, which no
// GLUT is asked for.
Market& numberedStreet() {
    static Market street;
    setClockMs(0);
    int list = 1;
    for (int(&frames)[2] : Customer::bodyLists) {
        for (int& body : frames) {
            body = list++;
        }
    }
    street.dayClock.sun1List = list++;
    street.dayClock.sun2List = list++;
    for (std::list<Customer>* group : {&street.shoppers, &street.passersBy}) {
        for (Customer& k : *group) {
            for (int* picture :
                 {&k.topHatList, &k.jesterHatList, &k.visorList, &k.maleHotbeatsBagList,
                  &k.maleTopTunesBagList, &k.maleMusicBoxBagList, &k.femaleHotbeatsBagList,
                  &k.femaleTopTunesBagList, &k.femaleMusicBoxBagList}) {
                *picture = list++;
            }
        }
    }
    return street;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Market& street = numberedStreet();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (readStreet(bytes, street, why) && writeStreet(street) != bytes) {
        std::abort();
    }
    return 0;
}
