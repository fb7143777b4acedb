// Resource ids of the Durvo library; no number is used for two kinds of resource.
#ifndef DURVO_RESOURCE_H
#define DURVO_RESOURCE_H

// Icon groups: the item's icon in the classic look, and in the Pocket PC 2002 look.
#define IDI_DURVO 101
#define IDI_DURVO_PPC2002 105

// The options page the Today settings run over CustomItemOptionsDlgProc.
#define IDD_OPTIONS 500

#endif
