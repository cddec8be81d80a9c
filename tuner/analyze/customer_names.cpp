#include "tuner/analyze/customer_names.h"

#include <array>

namespace lumora::analyze {

namespace {

// Indexed by customer id. Empty entries are ids that were never given out
// or have been withdrawn; 0 is the house's own label.
const std::array<const char*, kCustomerNameCount> kCustomerNames = {
    /*   0 */ "ZEMA", "", "", "",
    /*   4 */ "Vrunex Auto", "Gondok Tech", "Kurken Kiosk", "Daelo",
    /*   8 */ "Plaenar Panel", "Vrumum Tech", "Kison Tech", "Pouxa Marine",
    /*  12 */ "Stinok Tech", "Tento Tech", "Quavel Panel", "Kounton Tech",
    /*  16 */ "Kroulton Retail", "Skaevon Systems", "Drixum Display", "Pluron",
    /*  20 */ "Stala Kiosk", "Krinix Systems", "Stuthen", "",
    /*  24 */ "Krundok Touch", "Nalten Industrial", "Bioxen Display", "Fenar Vision",
    /*  28 */ "Drinta Kiosk", "Dexar Display", "Pumum", "Plexix Tech",
    /*  32 */ "Goultum Systems", "Quaenen Retail", "Taevok Display", "Pliovar Industrial",
    /*  36 */ "Braerkel Panel", "Skerka Display", "Poundok Kiosk", "Quioltex Display",
    /*  40 */ "Kurko Touch", "Rolel Medical", "Zouria Marine", "Skivex Kiosk",
    /*  44 */ "Doxar", "Brontia Display", "", "Drontel Vision",
    /*  48 */ "Cloumum Tech", "Mendon Systems", "Tremen Industrial", "Triondix Marine",
    /*  52 */ "Tilis Vision", "Belok Kiosk", "Selia Systems", "Zerkum Display",
    /*  56 */ "Plilen Medical", "Rioro", "Violtis", "Loulto Medical",
    /*  60 */ "Maelo Touch", "Mandon Auto", "Groxen Medical", "Skonex Touch",
    /*  64 */ "Triontum Display", "Vrandix Panel", "Tiolto Medical", "Sioxon Touch",
    /*  68 */ "Plimis Vision", "", "Tanden Medical", "Stiva Marine",
    /*  72 */ "Clumex Marine", "Druren Industrial", "Duvum Panel", "Gurkia",
    /*  76 */ "Clivix Panel", "Gaevum Marine", "Driorar Auto", "Zouna Industrial",
    /*  80 */ "Driothok", "Kondis Industrial", "Mionis Industrial", "Vruron Vision",
    /*  84 */ "Voria Retail", "Garok Kiosk", "Zentel Industrial", "Gumel Marine",
    /*  88 */ "Kralum Tech", "Laxel Auto", "Vuvel Auto", "Rouvex Marine",
    /*  92 */ "", "Skalen Vision", "Mithel Industrial", "Dreron Display",
    /*  96 */ "Kriovo Vision", "Nesa Display", "Quemok Industrial", "Stisex Auto",
    /* 100 */ "Fiovar", "Rioltis Vision", "Zevon Kiosk", "Kririx Industrial",
    /* 104 */ "Kaenis Vision", "Skaexum Medical", "Pluson Medical", "Kunok",
    /* 108 */ "Tioltok Auto", "Zisar", "Muvon Kiosk", "Zuso Display",
    /* 112 */ "Getho Medical", "Greso Tech", "Bririx Retail", "",
    /* 116 */ "Gioria", "Clesok Industrial", "Denden Medical", "Nirel Industrial",
    /* 120 */ "Vaxen Auto", "Vondix Vision", "Clouro Industrial", "Milo Medical",
    /* 124 */ "Clorkel Panel", "Birkia Tech", "Lolto Auto", "Ploundum Tech",
    /* 128 */ "Favix", "Kraelo Touch", "Laesex Panel", "Plultel",
    /* 132 */ "Skoulex Touch", "Graethen Marine", "Zivum Vision", "Staemo Auto",
    /* 136 */ "Nuvia Auto", "Vuthix Kiosk", "", "Triovis",
    /* 140 */ "Fonex Marine", "Plendum Medical", "Kimel Medical", "Drethok Panel",
    /* 144 */ "Kaeltok Vision", "Renok Display", "Plindo Systems", "Rolto Vision",
    /* 148 */ "Plaero Retail", "Broultel", "Grendia Display", "Riontia Systems",
    /* 152 */ "Brora Industrial", "Zatho Retail", "Quilon", "Liorkar Display",
    /* 156 */ "Tiorex Touch", "Tila Display", "Romia Touch", "Skuntix Marine",
    /* 160 */ "Lavia Touch", "", "Trisix Tech", "Zantok Display",
    /* 164 */ "Quantex Medical", "Skioltia Retail", "Drunok Vision", "Krothia Display",
    /* 168 */ "Vountex Kiosk", "Fimis Tech", "Nivex Display", "Stemia Tech",
    /* 172 */ "Barex Touch", "Vraerum Touch", "Krovok Kiosk", "Brosa Touch",
    /* 176 */ "Brentix Medical", "Vrenix Kiosk", "Draesis Marine", "Mouthok Kiosk",
    /* 180 */ "Sioria Kiosk", "Traevis Display", "Clumo", "Korkar Retail",
    /* 184 */ "", "Tontis Retail", "Bamum Industrial", "Puxon Touch",
    /* 188 */ "Drothok Vision", "Skaxar Panel", "Zaltar Systems", "Laera Marine",
    /* 192 */ "Faeltia Retail", "Quounden Systems", "Pinia Medical", "Niosar Tech",
    /* 196 */ "Quason Medical", "Mathex", "Nethia Touch", "Toulten",
    /* 200 */ "Roumex Panel", "Rouxel Systems", "Pioltum Kiosk", "Piona Vision",
    /* 204 */ "Vexia Vision", "Plisa Medical", "Noumo Panel", "",
    /* 208 */ "Krexen Touch", "Cliorar Retail", "Kravis Tech", "Skiosa Marine",
    /* 212 */ "Bomen Kiosk", "Skutha Retail", "Plexa Retail", "Munar Medical",
    /* 216 */ "Zouva Industrial", "Manok Touch", "Quirkis Retail", "Quiondar Kiosk",
    /* 220 */ "Stero Marine", "Krevon Display", "Guntia Touch", "Fioltis Tech",
    /* 224 */ "Kelok Marine", "Mantis", "Rusia", "Maelto Marine",
    /* 228 */ "Noultar Display", "Zelen Medical", "", "Taetho Systems",
    /* 232 */ "Drixa Retail", "Krindok Marine", "Skuxok Retail", "Komum Systems",
    /* 236 */ "Randen Auto", "Graendel Tech", "Pisia Systems", "Dinum Tech",
    /* 240 */ "Tiontel Tech", "Gaerkia Marine", "Rounix Display", "Revix Tech",
    /* 244 */ "Kindon Tech", "Noultix Systems", "Stoson Industrial", "Lantex Auto",
    /* 248 */ "Lunis Marine", "Braltok Retail", "Bramix Auto", "Soulen Vision",
    /* 252 */ "Skenia Tech", "", "Saentix Vision", "Sourel Panel",
    /* 256 */ "Krurkis Display", "Clionton Vision", "Vemen", "Dremel Retail",
    /* 260 */ "Plilex Auto", "Goulok Tech", "Loutho Retail", "Staerken Panel",
    /* 264 */ "Trorkix Display", "Quousia Panel", "Fison Marine", "Mixum Vision",
    /* 268 */ "Veron Touch", "Brarkum Industrial", "Korka Medical", "Traltia Industrial",
    /* 272 */ "Quexix Systems", "Vama Medical", "Buvex", "Draevum Panel",
    /* 276 */ "", "Nero Touch", "Ganten Auto", "Detho Panel",
    /* 280 */ "Riovum Display", "Miltok Marine", "Sixel Medical", "Dioso Marine",
    /* 284 */ "Laemok Systems", "Drelar Vision", "Krora Medical", "Vraethok Touch",
    /* 288 */ "Krundex", "Staesix", "Broro Display", "Krunum Kiosk",
    /* 292 */ "Dulum Touch", "Tiomix Retail", "Tresis Tech", "Krondix Panel",
    /* 296 */ "Diontix Retail", "Clothum Display", "Zandex Vision", "",
    /* 300 */ "Muren Kiosk", "Skunto Auto", "Numok Systems", "Triontok Retail",
    /* 304 */ "Krirkix Panel", "Fultar Industrial", "Drunden Retail", "Koumia Systems",
    /* 308 */ "Lundis Industrial", "Fisa Display", "Derkis Panel", "Quaesum Retail",
    /* 312 */ "Kriolten Tech", "Brouthok Medical", "Loulto Auto", "Gioro",
    /* 316 */ "Bavex Systems", "Kaxum", "Kaendix Medical", "Rathia Tech",
    /* 320 */ "Dioxix Touch", "Loulok Kiosk", "", "Mionon Industrial",
    /* 324 */ "Violta Medical", "Rioron Kiosk", "Varkar Systems", "Raela Kiosk",
    /* 328 */ "Boundo Industrial", "Liothex", "", "Zothel Kiosk",
    /* 332 */ "Quondex Kiosk", "", "Sionton Industrial", "Vono Systems",
    /* 336 */ "", "Kuntok Touch", "Quounok Medical", "",
    /* 340 */ "Zaenton Tech", "Quouxar Auto", "", "Broson Industrial",
    /* 344 */ "Krirex Medical",
};

}  // namespace

QString customerName(uint32_t id) {
    if (id >= kCustomerNames.size()) return QStringLiteral("Unknown");
    return QString::fromLatin1(kCustomerNames[id]);
}

}  // namespace lumora::analyze
