// The index and page panels: a card over the book listing entries that jump to their page.
// Only the rows in view exist, so a catalogue of hundreds of pages or index rows costs the
// same as a short one; the mouse wheel scrolls.

import flash.display.Loader;
import flash.display.Sprite;
import flash.events.IOErrorEvent;
import flash.events.MouseEvent;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;

typedef PanelEntry = {page:Int, text:String, image:String};

class Panel extends Sprite {
	static inline var ROW = 26;
	static inline var PADDING = 14;
	static inline var THUMB_WIDTH = 96;

	public var entries(default, null):Array<PanelEntry>;
	public var rows(default, null):Array<Sprite> = [];

	var thumbnails:Bool;
	var onPick:Int->Void;
	var panelWidth:Float = 300;
	var panelHeight:Float = 300;
	var first = 0;
	var body:Sprite;
	var titleField:TextField;
	var thumbHeight:Float;

	public function new(title:String, entries:Array<PanelEntry>, thumbnails:Bool, pageRatio:Float, onPick:Int->Void) {
		super();
		this.entries = entries;
		this.thumbnails = thumbnails;
		this.onPick = onPick;
		thumbHeight = THUMB_WIDTH * pageRatio;
		titleField = label(title, 17, true);
		titleField.x = PADDING;
		titleField.y = 8;
		addChild(titleField);
		body = new Sprite();
		body.y = 40;
		addChild(body);
		addEventListener(MouseEvent.MOUSE_WHEEL, function(event:MouseEvent) scroll(event.delta > 0 ? -1 : 1));
	}

	public function resize(width:Float, height:Float) {
		panelWidth = width;
		panelHeight = height;
		graphics.clear();
		graphics.lineStyle(1, 0x8899AA);
		graphics.beginFill(0xFFFFFF, 0.97);
		graphics.drawRoundRect(0, 0, width, height, 14, 14);
		graphics.endFill();
		fillRows();
	}

	public function scroll(steps:Int) {
		var perRow = columns();
		var last = Std.int(Math.max(0, Math.ceil(entries.length / perRow) - visibleRows())) * perRow;
		first = Std.int(Math.max(0, Math.min(last, first + steps * perRow)));
		fillRows();
	}

	function columns():Int
		return thumbnails ? Std.int(Math.max(1, (panelWidth - PADDING) / (THUMB_WIDTH + PADDING))) : 1;

	function rowHeight():Float
		return thumbnails ? thumbHeight + 30 : ROW;

	function visibleRows():Int
		return Std.int(Math.max(1, (panelHeight - 50) / rowHeight()));

	function fillRows() {
		for (row in rows) {
			for (i in 0...row.numChildren)
				if (Std.isOfType(row.getChildAt(i), Loader))
					try
						cast(row.getChildAt(i), Loader).unloadAndStop()
					catch (error:Dynamic) {}
		}
		while (body.numChildren > 0) body.removeChildAt(0);
		rows = [];
		if (entries.length == 0) {
			var empty = label("Ce catalogue n'a pas d'index.", 14, false);
			empty.x = PADDING;
			body.addChild(empty);
			return;
		}
		var perRow = columns();
		var count = Std.int(Math.min(entries.length - first, visibleRows() * perRow));
		for (i in 0...count) {
			var entry = entries[first + i];
			var row = thumbnails ? thumbnail(entry) : indexRow(entry);
			row.x = PADDING + (i % perRow) * (THUMB_WIDTH + PADDING);
			row.y = Std.int(i / perRow) * rowHeight();
			row.buttonMode = true;
			row.mouseChildren = false;
			var page = entry.page;
			row.addEventListener(MouseEvent.CLICK, function(_) onPick(page));
			body.addChild(row);
			rows.push(row);
		}
	}

	function indexRow(entry:PanelEntry):Sprite {
		var row = new Sprite();
		var text = label(entry.text, 14, false);
		text.width = panelWidth - 2 * PADDING - 50;
		var number = label(Std.string(entry.page), 14, true);
		number.x = panelWidth - 2 * PADDING - 40;
		row.graphics.beginFill(0xFFFFFF, 0.01);
		row.graphics.drawRect(0, 0, panelWidth - 2 * PADDING, ROW - 2);
		row.graphics.endFill();
		row.addChild(text);
		row.addChild(number);
		return row;
	}

	// A thumbnail is the page's small image; without one, the page image, and without that a
	// notice, never a broken picture.
	function thumbnail(entry:PanelEntry):Sprite {
		var row = new Sprite();
		row.graphics.lineStyle(1, 0xAAAAAA);
		row.graphics.beginFill(0xFFFFFF);
		row.graphics.drawRect(0, 0, THUMB_WIDTH, thumbHeight);
		row.graphics.endFill();
		var caption = label(Std.string(entry.page), 13, false);
		caption.y = thumbHeight + 4;
		caption.x = (THUMB_WIDTH - caption.width) / 2;
		row.addChild(caption);
		var loader = new Loader();
		var candidates = [entry.image, "page" + entry.page + ".jpg"];
		function next() {
			if (candidates.length == 0) {
				var missing = label("Image absente", 11, false);
				missing.x = 4;
				missing.y = thumbHeight / 2 - 8;
				row.addChild(missing);
				return;
			}
			loader.load(new URLRequest(candidates.shift()));
		}
		loader.contentLoaderInfo.addEventListener(IOErrorEvent.IO_ERROR, function(_) next());
		loader.contentLoaderInfo.addEventListener(flash.events.Event.INIT, function(_) {
			var info = loader.contentLoaderInfo;
			if (info.width > 0 && info.height > 0) {
				var scale = Math.min(THUMB_WIDTH / loader.content.width, thumbHeight / loader.content.height);
				loader.scaleX = loader.scaleY = scale;
			}
		});
		row.addChild(loader);
		next();
		return row;
	}

	static function label(text:String, size:Int, bold:Bool):TextField {
		var field = new TextField();
		field.selectable = false;
		field.autoSize = TextFieldAutoSize.LEFT;
		field.defaultTextFormat = new TextFormat("_sans", size, 0x222A35, bold);
		field.text = text;
		return field;
	}
}
