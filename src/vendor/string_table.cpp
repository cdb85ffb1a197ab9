// The library's string table (language 0x0409): the vendor's texts, entries 900-921.
#include "vendor/resources.hpp"

namespace t2::vendor {

const ResourceString kStringTable[] = {
    {900, u"Laborare est orare: may the work of our hands be good."},
    {901, u"QEL"},
    {902, u"Quillmere"},
    {903, u"Quillmere Engineering Laboratories"},
    {904, u"Quillmere Engineering Laboratories (Pvt) Ltd."},
    {905, u"Quillmere Engineering Laboratories Ltd."},
    {906, u"14 Foundry Lane, Harrowgate Industrial Park, Millbridge MB4 7QE"},
    {907, u"-"},
    {908, u"-"},
    {909, u"-"},
    {910, u"-"},
    {911, u"Telephone: +44 1632 960 418, +44 1632 960 419"},
    {912, u"-"},
    {913, u"-"},
    {914, u"-"},
    {915, u"-"},
    {916, u"E-mail: info@quillmere.example  Web: www.quillmere.example"},
    {917, u"-"},
    {918, u"-"},
    {919, u"-"},
    {920, u"-"},
    {921, u"-"},
};
const int kStringTableSize = sizeof kStringTable / sizeof kStringTable[0];

}  // namespace t2::vendor
