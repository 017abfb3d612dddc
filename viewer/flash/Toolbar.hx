// The viewer's ten buttons, drawn as vector icons, with the catalogue's tooltips and the page
// number between "previous" and "next". Hidden buttons are not created at all.

import flash.display.Shape;
import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;

class Toolbar extends Sprite {
	public static inline var HEIGHT = 44;
	static inline var BUTTON = 34;
	static inline var GAP = 6;

	public var buttons(default, null) = new Map<String, Sprite>();
	public var tooltip(default, null):TextField;

	var pageLabel:TextField;

	public function new(catalogue:Catalogue, action:String->Void) {
		super();
		pageLabel = new TextField();
		pageLabel.selectable = false;
		pageLabel.autoSize = TextFieldAutoSize.LEFT;
		pageLabel.defaultTextFormat = new TextFormat("_sans", 15, 0x222A35, true);
		tooltip = new TextField();
		tooltip.selectable = false;
		tooltip.background = true;
		tooltip.backgroundColor = 0xFFFFE8;
		tooltip.border = true;
		tooltip.borderColor = 0x666666;
		tooltip.autoSize = TextFieldAutoSize.LEFT;
		tooltip.defaultTextFormat = new TextFormat("_sans", 13, 0x222222);
		tooltip.visible = false;

		var x = 0.0;
		for (name in Catalogue.BUTTONS) {
			if (name == "next") {
				pageLabel.x = x;
				addChild(pageLabel);
				x += 90;
			}
			var setting = catalogue.buttons.get(name);
			if (!setting.visible)
				continue;
			var button = makeButton(name, setting.alt);
			button.x = x;
			button.y = (HEIGHT - BUTTON) / 2;
			button.addEventListener(MouseEvent.CLICK, function(_) action(name));
			addChild(button);
			buttons.set(name, button);
			x += BUTTON + GAP;
		}
		graphics.beginFill(0xFFFFFF, 0.85);
		graphics.drawRoundRect(-GAP, 0, x + GAP, HEIGHT, 12, 12);
		graphics.endFill();
		addChild(tooltip);
	}

	public function setPageText(text:String) {
		pageLabel.text = text;
		pageLabel.y = (HEIGHT - pageLabel.height) / 2;
		pageLabel.x = buttons.exists("next") ? buttons.get("next").x - 90 + (84 - pageLabel.width) / 2 : pageLabel.x;
	}

	function makeButton(name:String, alt:String):Sprite {
		var button = new Sprite();
		button.name = name;
		button.buttonMode = true;
		button.useHandCursor = true;
		button.mouseChildren = false;
		var face = button.graphics;
		face.beginFill(0x2F4A6B);
		face.drawRoundRect(0, 0, BUTTON, BUTTON, 8, 8);
		face.endFill();
		var icon = new Shape();
		drawIcon(icon, name);
		button.addChild(icon);
		button.addEventListener(MouseEvent.ROLL_OVER, function(_) showTooltip(button, alt));
		button.addEventListener(MouseEvent.ROLL_OUT, function(_) tooltip.visible = false);
		return button;
	}

	function showTooltip(button:Sprite, alt:String) {
		if (alt == "")
			return;
		tooltip.text = alt;
		tooltip.x = Math.max(-x, button.x + BUTTON / 2 - tooltip.width / 2);
		tooltip.y = -tooltip.height - 4;
		tooltip.visible = true;
	}

	// Icons on a 34 x 34 button, white on the button's blue.
	static function drawIcon(icon:Shape, name:String) {
		var g = icon.graphics;
		var white = 0xFFFFFF;
		inline function triangle(x1:Float, y1:Float, x2:Float, y2:Float, x3:Float, y3:Float) {
			g.beginFill(white);
			g.moveTo(x1, y1);
			g.lineTo(x2, y2);
			g.lineTo(x3, y3);
			g.lineTo(x1, y1);
			g.endFill();
		}
		inline function bar(x:Float, y:Float, w:Float, h:Float) {
			g.beginFill(white);
			g.drawRect(x, y, w, h);
			g.endFill();
		}
		switch (name) {
			case "print":
				bar(11, 8, 12, 6);
				bar(7, 14, 20, 9);
				bar(11, 21, 12, 6);
			case "zoomLess", "zoomPlus":
				g.lineStyle(3, white);
				g.drawCircle(15, 15, 8);
				g.moveTo(21, 21);
				g.lineTo(28, 28);
				g.lineStyle();
				bar(11, 14, 8, 2);
				if (name == "zoomPlus")
					bar(14, 11, 2, 8);
			case "first":
				bar(9, 10, 3, 14);
				triangle(25, 10, 25, 24, 13, 17);
			case "previous":
				triangle(22, 9, 22, 25, 11, 17);
			case "next":
				triangle(12, 9, 12, 25, 23, 17);
			case "last":
				triangle(9, 10, 9, 24, 21, 17);
				bar(22, 10, 3, 14);
			case "index":
				for (row in 0...4) {
					bar(8, 9 + row * 5, 3, 3);
					bar(13, 9 + row * 5, 13, 3);
				}
			case "pages":
				for (row in 0...2)
					for (column in 0...2)
						bar(8 + column * 10, 8 + row * 10, 8, 8);
			case "fullScreen":
				g.lineStyle(3, white);
				for (c in [[8, 14, 8, 8, 14, 8], [20, 8, 26, 8, 26, 14], [26, 20, 26, 26, 20, 26], [14, 26, 8, 26, 8, 20]]) {
					g.moveTo(c[0], c[1]);
					g.lineTo(c[2], c[3]);
					g.lineTo(c[4], c[5]);
				}
		}
	}
}
