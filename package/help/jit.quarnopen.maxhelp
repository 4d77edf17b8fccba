{
	"patcher": {
		"fileversion": 1,
		"appversion": {
			"major": 8,
			"minor": 6,
			"revision": 0,
			"architecture": "x64",
			"modernui": 1
		},
		"classnamespace": "box",
		"rect": [
			100.0,
			100.0,
			650.0,
			680.0
		],
		"bglocked": 0,
		"openinpresentation": 0,
		"default_fontsize": 12.0,
		"default_fontface": 0,
		"default_fontname": "Arial",
		"gridonopen": 1,
		"gridsize": [
			15.0,
			15.0
		],
		"gridsnaponopen": 1,
		"objectsnaponopen": 1,
		"statusbarvisible": 2,
		"toolbarvisible": 1,
		"boxanimatetime": 200,
		"enablehscroll": 1,
		"enablevscroll": 1,
		"description": "",
		"digest": "",
		"tags": "",
		"style": "",
		"boxes": [
			{
				"box": {
					"id": "obj-1",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						15.0,
						10.0,
						520.0,
						33.0
					],
					"text": "jit.quarnopen",
					"fontsize": 24.0,
					"fontface": 1
				}
			},
			{
				"box": {
					"id": "obj-2",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						15.0,
						45.0,
						610.0,
						47.0
					],
					"text": "Decodes a row made by jit.quarnpack back into an image of 4 planes of 8-bit cells, at the size the row's prefix gives. Its own bitrate says how much of the stream it reads: a lower value gives a coarser picture from the same stream.",
					"linecount": 3
				}
			},
			{
				"box": {
					"id": "obj-3",
					"maxclass": "toggle",
					"numinlets": 1,
					"numoutlets": 1,
					"patching_rect": [
						15.0,
						105.0,
						24.0,
						24.0
					],
					"outlettype": [
						"int"
					],
					"parameter_enable": 0
				}
			},
			{
				"box": {
					"id": "obj-4",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						45.0,
						107.0,
						150.0,
						20.0
					],
					"text": "start and stop the frames"
				}
			},
			{
				"box": {
					"id": "obj-5",
					"maxclass": "newobj",
					"numinlets": 2,
					"numoutlets": 1,
					"patching_rect": [
						15.0,
						140.0,
						63.0,
						22.0
					],
					"outlettype": [
						"bang"
					],
					"text": "metro 100"
				}
			},
			{
				"box": {
					"id": "obj-6",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						15.0,
						170.0,
						40.0,
						22.0
					],
					"outlettype": [
						"bang",
						"bang"
					],
					"text": "t b b"
				}
			},
			{
				"box": {
					"id": "obj-7",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						60.0,
						205.0,
						130.0,
						22.0
					],
					"outlettype": [
						"jit_matrix",
						""
					],
					"text": "jit.noise 4 char 8 6"
				}
			},
			{
				"box": {
					"id": "obj-8",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						60.0,
						235.0,
						215.0,
						22.0
					],
					"outlettype": [
						"jit_matrix",
						""
					],
					"text": "jit.matrix 4 char 320 240 @interp 1"
				}
			},
			{
				"box": {
					"id": "obj-9",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						285.0,
						205.0,
						340.0,
						47.0
					],
					"text": "a test source: 4 planes of 8-bit cells (alpha, red, green, blue), smooth noise at 320 x 240. Any image of 32 to 8192 pixels a side will do.",
					"linecount": 3
				}
			},
			{
				"box": {
					"id": "obj-10",
					"maxclass": "attrui",
					"numinlets": 1,
					"numoutlets": 1,
					"patching_rect": [
						60.0,
						270.0,
						150.0,
						22.0
					],
					"outlettype": [
						""
					],
					"attr": "bitrate",
					"parameter_enable": 0
				}
			},
			{
				"box": {
					"id": "obj-11",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						60.0,
						305.0,
						160.0,
						22.0
					],
					"outlettype": [
						"jit_matrix",
						""
					],
					"text": "jit.quarnpack @bitrate 0.5"
				}
			},
			{
				"box": {
					"id": "obj-12",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						230.0,
						270.0,
						395.0,
						60.0
					],
					"text": "One stream: each frame is coded into one row of 8-bit cells, a 4-byte size prefix and then the stream. bitrate (bits per pixel) sets its length: width x height x bitrate / 8 + 4 cells.",
					"linecount": 4
				}
			},
			{
				"box": {
					"id": "obj-13",
					"maxclass": "attrui",
					"numinlets": 1,
					"numoutlets": 1,
					"patching_rect": [
						60.0,
						345.0,
						150.0,
						22.0
					],
					"outlettype": [
						""
					],
					"attr": "bitrate",
					"parameter_enable": 0
				}
			},
			{
				"box": {
					"id": "obj-14",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						60.0,
						380.0,
						160.0,
						22.0
					],
					"outlettype": [
						"jit_matrix",
						""
					],
					"text": "jit.quarnopen @bitrate 0.5"
				}
			},
			{
				"box": {
					"id": "obj-15",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						230.0,
						340.0,
						395.0,
						60.0
					],
					"text": "The stream is embedded: lower the decoder's bitrate and it reads only the start of the same stream, a coarser picture. At or above the encoder's bitrate it decodes the whole stream, and no more.",
					"linecount": 4
				}
			},
			{
				"box": {
					"id": "obj-16",
					"maxclass": "jit.pwindow",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						60.0,
						415.0,
						320.0,
						240.0
					],
					"outlettype": [
						"jit_matrix",
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-17",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						390.0,
						415.0,
						235.0,
						33.0
					],
					"text": "the decoded picture (255 in the alpha plane)",
					"linecount": 2
				}
			},
			{
				"box": {
					"id": "obj-18",
					"maxclass": "message",
					"numinlets": 2,
					"numoutlets": 1,
					"patching_rect": [
						390.0,
						470.0,
						50.0,
						22.0
					],
					"outlettype": [
						""
					],
					"text": "getdim"
				}
			},
			{
				"box": {
					"id": "obj-19",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						390.0,
						500.0,
						65.0,
						22.0
					],
					"outlettype": [
						"jit_matrix",
						""
					],
					"text": "jit.matrix"
				}
			},
			{
				"box": {
					"id": "obj-20",
					"maxclass": "newobj",
					"numinlets": 2,
					"numoutlets": 2,
					"patching_rect": [
						390.0,
						530.0,
						65.0,
						22.0
					],
					"outlettype": [
						"",
						""
					],
					"text": "route dim"
				}
			},
			{
				"box": {
					"id": "obj-21",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						390.0,
						560.0,
						65.0,
						22.0
					],
					"outlettype": [
						"int",
						"int"
					],
					"text": "unpack 0 0"
				}
			},
			{
				"box": {
					"id": "obj-22",
					"maxclass": "number",
					"numinlets": 1,
					"numoutlets": 2,
					"patching_rect": [
						390.0,
						590.0,
						70.0,
						22.0
					],
					"outlettype": [
						"",
						"bang"
					],
					"parameter_enable": 0
				}
			},
			{
				"box": {
					"id": "obj-23",
					"maxclass": "comment",
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						465.0,
						590.0,
						160.0,
						33.0
					],
					"text": "cells in the coded row: the decoder reads as much of it as its bitrate covers",
					"linecount": 2
				}
			}
		],
		"lines": [
			{
				"patchline": {
					"destination": [
						"obj-5",
						0
					],
					"source": [
						"obj-3",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-6",
						0
					],
					"source": [
						"obj-5",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-7",
						0
					],
					"source": [
						"obj-6",
						1
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-18",
						0
					],
					"source": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-8",
						0
					],
					"source": [
						"obj-7",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-11",
						0
					],
					"source": [
						"obj-8",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-11",
						0
					],
					"source": [
						"obj-10",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-14",
						0
					],
					"source": [
						"obj-11",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-19",
						0
					],
					"source": [
						"obj-11",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-14",
						0
					],
					"source": [
						"obj-13",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-16",
						0
					],
					"source": [
						"obj-14",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-19",
						0
					],
					"source": [
						"obj-18",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-20",
						0
					],
					"source": [
						"obj-19",
						1
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-21",
						0
					],
					"source": [
						"obj-20",
						0
					]
				}
			},
			{
				"patchline": {
					"destination": [
						"obj-22",
						0
					],
					"source": [
						"obj-21",
						0
					]
				}
			}
		]
	}
}
