// One page of the catalogue: a white sheet of the catalogue's page size that loads its page
// movie when asked and lets it go again when the reader is far away, so a catalogue of
// hundreds of pages holds only a few movies at a time.

import flash.display.Loader;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

class PageView extends Sprite {
	public var number(default, null):Int;
	public var message(default, null):String = null;
	public var loaded(default, null) = false;

	var source:String;
	var sheetWidth:Float;
	var sheetHeight:Float;
	var loader:Loader = null;
	var notice:TextField = null;

	public function new(number:Int, source:String, width:Float, height:Float) {
		super();
		this.number = number;
		this.source = source;
		sheetWidth = width;
		sheetHeight = height;
		graphics.beginFill(0xFFFFFF);
		graphics.drawRect(0, 0, width, height);
		graphics.endFill();
		// The page movie may draw outside its stage: only the sheet shows.
		scrollRect = new flash.geom.Rectangle(0, 0, width, height);
	}

	public function load() {
		if (loader != null)
			return;
		loader = new Loader();
		var info = loader.contentLoaderInfo;
		info.addEventListener(Event.INIT, onInit);
		info.addEventListener(IOErrorEvent.IO_ERROR, onMissing);
		info.addEventListener(SecurityErrorEvent.SECURITY_ERROR, onMissing);
		addChildAt(loader, 0);
		try {
			loader.load(new URLRequest(source));
		} catch (error:Dynamic) {
			onMissing(null);
		}
	}

	public function unload() {
		if (loader == null)
			return;
		try {
			loader.unloadAndStop();
		} catch (error:Dynamic) {}
		if (loader.parent != null)
			removeChild(loader);
		loader = null;
		loaded = false;
	}

	// The page movie's stage is the page; it is scaled to fill the sheet.
	function onInit(_:Event) {
		var info = loader.contentLoaderInfo;
		if (info.width > 0 && info.height > 0) {
			loader.scaleX = sheetWidth / info.width;
			loader.scaleY = sheetHeight / info.height;
		}
		loaded = true;
		dispatchEvent(new Event(Event.COMPLETE));
	}

	function onMissing(_:Event) {
		showMessage("Page " + number + " introuvable : le fichier « " + source + " » manque dans le dossier du catalogue.");
		dispatchEvent(new Event(Event.COMPLETE));
	}

	function showMessage(text:String) {
		message = text;
		if (notice == null) {
			notice = new TextField();
			notice.selectable = false;
			notice.multiline = true;
			notice.wordWrap = true;
			notice.autoSize = TextFieldAutoSize.CENTER;
			var format = new TextFormat("_sans", Std.int(Math.max(12, sheetWidth / 26)), 0x8A1C1C);
			format.align = TextFormatAlign.CENTER;
			notice.defaultTextFormat = format;
			notice.width = sheetWidth * 0.8;
			notice.x = sheetWidth * 0.1;
			addChild(notice);
		}
		notice.text = text;
		notice.y = (sheetHeight - notice.height) / 2;
	}
}
